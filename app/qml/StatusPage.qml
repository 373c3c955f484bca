import QtQuick
import QtQuick.Controls
import QtQuick.Layouts
import "Logic.js" as Logic

ScrollView {
    id: page
    property real touch: 48
    contentWidth: availableWidth
    property double now: Date.now() / 1000

    Timer { interval: 30000; running: true; repeat: true; onTriggered: page.now = Date.now() / 1000 }

    // On a laptop the column keeps a readable width in the middle.
    ColumnLayout {
        width: Math.min(page.availableWidth, 720)
        x: (page.availableWidth - width) / 2
        spacing: 14

        Item { height: 4 }

        RowLayout {
            Layout.leftMargin: 16; Layout.rightMargin: 16
            Rectangle {
                width: 14; height: 14; radius: 7
                color: settingsModel.collectionEnabled ? "#2e7d32" : "#9e9e9e"
            }
            Label {
                Layout.fillWidth: true
                font.pixelSize: Qt.application.font.pixelSize * 1.3
                font.bold: true
                text: !settingsModel.loaded ? "Collecting: unknown"
                      : settingsModel.collectionEnabled ? "Collecting" : "Collection is off"
            }
        }

        GroupBox {
            Layout.fillWidth: true; Layout.leftMargin: 12; Layout.rightMargin: 12
            title: "Stored fingerprints"
            ColumnLayout {
                anchors.fill: parent
                Label {
                    font.pixelSize: Qt.application.font.pixelSize * 2
                    text: statusModel.hasStatus ? statusModel.total : "–"
                }
                Label {
                    Layout.fillWidth: true; wrapMode: Text.Wrap
                    text: "GSM " + statusModel.gsm + " · WCDMA " + statusModel.wcdma
                          + " · without cell " + statusModel.noRadio
                }
                Repeater {
                    model: statusModel.kinds
                    Label {
                        Layout.fillWidth: true; elide: Text.ElideRight; opacity: 0.8
                        text: modelData.count + " × " + Logic.kindName(modelData.mask)
                    }
                }
            }
        }

        GroupBox {
            Layout.fillWidth: true; Layout.leftMargin: 12; Layout.rightMargin: 12
            title: "Buffer"
            ColumnLayout {
                anchors.fill: parent
                ProgressBar {
                    id: gauge
                    Layout.fillWidth: true
                    value: Logic.fraction(statusModel.bufferBytes, statusModel.bufferLimit)
                }
                Label {
                    Layout.fillWidth: true; wrapMode: Text.Wrap
                    text: Logic.bytesText(statusModel.bufferBytes) + " of " + Logic.bytesText(statusModel.bufferLimit)
                          + " (" + Math.round(gauge.value * 100) + " %)"
                }
                Label {
                    Layout.fillWidth: true; wrapMode: Text.Wrap
                    text: "Today " + Logic.bytesText(statusModel.growthBytes) + " of "
                          + Logic.bytesText(statusModel.growthLimit) + " a day"
                }
            }
        }

        GroupBox {
            Layout.fillWidth: true; Layout.leftMargin: 12; Layout.rightMargin: 12
            title: "Upload"
            ColumnLayout {
                anchors.fill: parent
                Label {
                    Layout.fillWidth: true; wrapMode: Text.Wrap
                    text: statusModel.lastUpload
                          ? "Last: " + new Date(statusModel.lastUpload * 1000).toLocaleString(Qt.locale(), Locale.ShortFormat)
                            + " (" + Logic.agoText(statusModel.lastUpload, page.now) + "), "
                            + Logic.plural(statusModel.lastUploadCount, "fingerprint", "fingerprints")
                          : "Nothing uploaded yet"
                }
                Button {
                    objectName: "uploadNow"
                    Layout.fillWidth: true
                    implicitHeight: page.touch
                    text: statusModel.uploading ? "Uploading… " + statusModel.uploadElapsed + " s" : "Upload now"
                    enabled: !statusModel.uploading && daemon.state === 1 && settingsModel.uploadEnabled
                    onClicked: statusModel.uploadNow()
                }
                ProgressBar { Layout.fillWidth: true; indeterminate: true; visible: statusModel.uploading }
                Label {
                    Layout.fillWidth: true; wrapMode: Text.Wrap
                    visible: text !== ""
                    color: statusModel.uploadOutcome === "failed" ? "#c62828"
                           : statusModel.uploadOutcome === "ok" ? "#2e7d32" : palette.windowText
                    text: settingsModel.loaded && !settingsModel.uploadEnabled && !statusModel.uploading
                          ? "Upload is switched off (Privacy page)." : statusModel.uploadMessage
                }
            }
        }

        GroupBox {
            Layout.fillWidth: true; Layout.leftMargin: 12; Layout.rightMargin: 12
            title: statusModel.dropsSince.getTime && !isNaN(statusModel.dropsSince.getTime())
                   ? "Left out in the last hour" : "Left out since the collector started"
            ColumnLayout {
                anchors.fill: parent
                Repeater {
                    id: drops
                    model: statusModel.dropLines
                    Label { Layout.fillWidth: true; wrapMode: Text.Wrap; text: modelData }
                }
                Label { visible: drops.count === 0; text: "Nothing"; opacity: 0.7 }
            }
        }
        Item { height: 12 }
    }
}
