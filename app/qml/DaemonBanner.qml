import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

// What is wrong with the link to the collector and what to do about it;
// hidden while all is well.
Pane {
    id: banner
    visible: daemon.state !== 1
    padding: 12
    background: Rectangle { color: daemon.state === 0 ? palette.alternateBase : "#b3261e" }

    RowLayout {
        width: parent.width
        Label {
            Layout.fillWidth: true
            wrapMode: Text.Wrap
            color: daemon.state === 0 ? palette.windowText : "white"
            text: daemon.state === 0 ? "Looking for the collector…" : daemon.message
        }
    }
}
