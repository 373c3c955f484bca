import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "Logic.js" as Logic

Page {
    id: page
    property real touch: 48
    property var picked: null

    ColumnLayout {
        anchors.fill: parent
        spacing: 0

        MapView {
            id: mapView
            objectName: "mapView"
            Layout.fillWidth: true
            Layout.fillHeight: true
            fingerprints: mapModel.fingerprints
            cells: mapModel.cells
            accessPoints: mapModel.accessPoints
            zones: settingsModel.zones
            onTapped: (position, index) => page.picked = index >= 0 ? mapModel.fingerprints[index] : null
        }

        Pane {
            Layout.fillWidth: true
            padding: 10
            ColumnLayout {
                width: parent.width
                Label {
                    Layout.fillWidth: true; wrapMode: Text.Wrap
                    visible: mapModel.error !== ""
                    color: "#c62828"
                    text: "The fingerprints cannot be read: " + mapModel.error
                }
                Label {
                    Layout.fillWidth: true; wrapMode: Text.Wrap
                    text: page.picked
                          ? "#" + page.picked.id + " · " + new Date(page.picked.time).toLocaleString(Qt.locale(), Locale.ShortFormat)
                            + "\n" + Logic.kindName(page.picked.mask)
                            + (page.picked.cell ? "\nServing cell " + page.picked.cell : "")
                            + (page.picked.wlans.length ? "\n" + Logic.plural(page.picked.wlans.length, "access point", "access points") : "")
                            + "\n" + page.picked.latitude.toFixed(5) + ", " + page.picked.longitude.toFixed(5)
                          : Logic.plural(mapModel.fingerprints.length, "fingerprint", "fingerprints") + " on the map, "
                            + Logic.plural(mapModel.cells.length, "cell", "cells") + " ■, "
                            + Logic.plural(mapModel.accessPoints.length, "access point", "access points") + " △, "
                            + Logic.plural(settingsModel.zones.length, "privacy zone", "privacy zones")
                            + (mapModel.withoutPosition ? "; " + mapModel.withoutPosition + " without position" : "")
                            + ". Tap a dot for details."
                }
            }
        }
    }
}
