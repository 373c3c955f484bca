import QtQuick
import QtQuick.Controls
import QtQuick.Layouts

ApplicationWindow {
    id: window
    width: 360
    height: 720
    visible: true
    title: "Fingerprint collector"

    // Touch targets stay finger-sized whatever the font.
    readonly property real touch: Math.max(48, fontMetrics.height * 2.4)
    readonly property var pageNames: ["status", "map", "privacy"]

    FontMetrics { id: fontMetrics }

    header: ColumnLayout {
        spacing: 0
        DaemonBanner { Layout.fillWidth: true }
        TabBar {
            id: tabs
            Layout.fillWidth: true
            currentIndex: Math.max(0, window.pageNames.indexOf(startPage))
            TabButton { text: "Status"; height: window.touch }
            TabButton { text: "Map"; height: window.touch }
            TabButton { text: "Privacy"; height: window.touch }
        }
    }

    StackLayout {
        anchors.fill: parent
        currentIndex: tabs.currentIndex
        StatusPage { touch: window.touch }
        MapPage { touch: window.touch }
        PrivacyPage { touch: window.touch; onShowOnMap: tabs.currentIndex = 1 }
    }

    // Settings name the database; the map follows it and every new fingerprint.
    Connections {
        target: settingsModel
        function onSettingsChanged() { mapModel.load(settingsModel.databaseFile) }
    }
    Connections {
        target: statusModel
        function onStatusChanged() { mapModel.load(settingsModel.databaseFile) }
    }
}
