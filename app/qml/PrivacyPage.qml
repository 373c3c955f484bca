import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "Logic.js" as Logic

ScrollView {
    id: page
    property real touch: 48
    // The new zone's centre: picked on the map or the last collected position.
    property var centre: null
    property string problem: ""
    signal showOnMap()
    contentWidth: availableWidth

    function lastPosition() {
        var f = mapModel.fingerprints
        var newest = null
        for (var i = 0; i < f.length; ++i)
            if (!newest || f[i].time > newest.time)
                newest = f[i]
        return newest ? { latitude: newest.latitude, longitude: newest.longitude } : null
    }
    function addZone() {
        problem = !page.centre ? "Tap the map or use the last position first." : Logic.radiusProblem(radiusField.text)
        if (problem === "" && settingsModel.addZone(page.centre.latitude, page.centre.longitude, Number(radiusField.text)))
            page.centre = null
    }

    // On a laptop the column keeps a readable width in the middle.
    ColumnLayout {
        width: Math.min(page.availableWidth, 720)
        x: (page.availableWidth - width) / 2
        spacing: 10

        Item { height: 4 }

        Switch {
            objectName: "collectionSwitch"
            Layout.fillWidth: true; Layout.leftMargin: 12; Layout.rightMargin: 12
            implicitHeight: page.touch
            text: "Collect fingerprints"
            enabled: settingsModel.loaded && daemon.state === 1
            checked: settingsModel.collectionEnabled
            onToggled: { settingsModel.setCollectionEnabled(checked); checked = Qt.binding(() => settingsModel.collectionEnabled) }
        }
        Switch {
            objectName: "uploadSwitch"
            Layout.fillWidth: true; Layout.leftMargin: 12; Layout.rightMargin: 12
            implicitHeight: page.touch
            text: "Upload fingerprints"
            enabled: settingsModel.loaded && daemon.state === 1
            checked: settingsModel.uploadEnabled
            onToggled: { settingsModel.setUploadEnabled(checked); checked = Qt.binding(() => settingsModel.uploadEnabled) }
        }

        Label { Layout.leftMargin: 16; text: "Community upload"; font.bold: true }
        Label {
            objectName: "communityUrlInUse"
            Layout.fillWidth: true; Layout.leftMargin: 16; Layout.rightMargin: 16
            wrapMode: Text.Wrap; opacity: 0.8
            text: "Uploads go to " + (settingsModel.communityUploadUrl !== "" ? settingsModel.communityUploadUrl
                                                                           : "the gateway's own server") + "."
        }
        RowLayout {
            Layout.fillWidth: true; Layout.leftMargin: 16; Layout.rightMargin: 8
            TextField {
                id: urlField
                objectName: "communityUrlField"
                Layout.fillWidth: true
                implicitHeight: page.touch
                placeholderText: "https://… (empty: the gateway's own server)"
                inputMethodHints: Qt.ImhUrlCharactersOnly | Qt.ImhNoAutoUppercase
                text: settingsModel.communityUploadUrl
            }
            Button {
                objectName: "communityUrlSave"
                text: "Save"
                implicitHeight: page.touch
                enabled: settingsModel.loaded && daemon.state === 1
                onClicked: { page.problem = ""; settingsModel.setCommunityUploadUrl(urlField.text) }
            }
        }
        // The daemon's read-back replaces what was typed: the field shows what is in effect.
        Connections {
            target: settingsModel
            function onSettingsChanged() { urlField.text = settingsModel.communityUploadUrl }
        }

        Label {
            Layout.fillWidth: true; Layout.leftMargin: 16; Layout.rightMargin: 16
            wrapMode: Text.Wrap; color: "#c62828"
            visible: text !== ""
            text: page.problem !== "" ? page.problem : settingsModel.error
        }

        Label { Layout.leftMargin: 16; text: "Privacy zones"; font.bold: true }
        Label {
            Layout.fillWidth: true; Layout.leftMargin: 16; Layout.rightMargin: 16
            wrapMode: Text.Wrap; opacity: 0.8
            text: "Nothing is collected inside a zone."
        }

        Repeater {
            model: settingsModel.zones
            RowLayout {
                Layout.fillWidth: true; Layout.leftMargin: 16; Layout.rightMargin: 8
                Label {
                    Layout.fillWidth: true; elide: Text.ElideRight
                    text: modelData.latitude.toFixed(4) + ", " + modelData.longitude.toFixed(4)
                          + " · " + Logic.distanceText(modelData.radius)
                }
                Button {
                    text: "Delete"
                    implicitHeight: page.touch
                    enabled: daemon.state === 1
                    onClicked: settingsModel.removeZone(index)
                }
            }
        }

        MapView {
            id: zoneMap
            Layout.fillWidth: true
            Layout.preferredHeight: Math.min(320, page.availableWidth * 0.8)
            fingerprints: mapModel.fingerprints
            zones: settingsModel.zones
            showStations: false
            marker: page.centre ? { latitude: page.centre.latitude, longitude: page.centre.longitude,
                                    radius: Math.max(1, Number(radiusField.text) || 0) } : null
            onTapped: (position, index) => { page.centre = position; page.problem = "" }
        }

        Label {
            Layout.fillWidth: true; Layout.leftMargin: 16; Layout.rightMargin: 16
            wrapMode: Text.Wrap
            text: page.centre ? "New zone at " + page.centre.latitude.toFixed(5) + ", " + page.centre.longitude.toFixed(5)
                              : "Tap the map where the new zone goes."
        }
        Button {
            Layout.fillWidth: true; Layout.leftMargin: 12; Layout.rightMargin: 12
            implicitHeight: page.touch
            text: "Use the last collected position"
            enabled: mapModel.fingerprints.length > 0
            onClicked: { page.centre = page.lastPosition(); page.problem = "" }
        }
        RowLayout {
            Layout.fillWidth: true; Layout.leftMargin: 12; Layout.rightMargin: 12
            Slider {
                id: radiusSlider
                Layout.fillWidth: true
                implicitHeight: page.touch
                // Logarithmic: 10 m to 50 km under one thumb.
                from: 1; to: Math.log(Logic.MaxZoneRadius) / Math.LN10
                value: 2.3
                onMoved: radiusField.text = String(Math.round(Math.pow(10, value)))
            }
            TextField {
                id: radiusField
                objectName: "radiusField"
                implicitWidth: 90
                implicitHeight: page.touch
                inputMethodHints: Qt.ImhDigitsOnly
                text: "200"
                onTextEdited: page.problem = Logic.radiusProblem(text)
            }
            Label { text: "m" }
        }
        Button {
            objectName: "addZone"
            Layout.fillWidth: true; Layout.leftMargin: 12; Layout.rightMargin: 12
            implicitHeight: page.touch
            text: "Add zone"
            enabled: daemon.state === 1 && !settingsModel.busy
            onClicked: page.addZone()
        }
        Item { height: 12 }
    }
}
