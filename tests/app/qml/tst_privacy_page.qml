import QtQuick
import QtTest
import "../../../app/qml"

// The Privacy page sends nothing the daemon would refuse.
Item {
    width: 360; height: 720

    QtObject {
        id: daemon
        property int state: 1
        property string message: ""
    }
    QtObject {
        id: settingsModel
        property bool loaded: true
        property bool busy: false
        property bool collectionEnabled: true
        property bool uploadEnabled: true
        property var zones: []
        property string communityUploadUrl: ""
        signal settingsChanged()
        property string error: ""
        property var added: []
        function addZone(lat, lon, radius) { added.push([lat, lon, radius]); return true }
        function setCollectionEnabled(on) {}
        function setUploadEnabled(on) {}
        function removeZone(i) {}
        function setCommunityUploadUrl(url) { return true }
    }
    QtObject {
        id: mapModel
        property var fingerprints: [{ latitude: 61.49, longitude: 21.79, time: 2 }, { latitude: 61.5, longitude: 21.8, time: 1 }]
    }

    PrivacyPage { id: page; anchors.fill: parent }

    TestCase {
        name: "PrivacyPage"
        when: windowShown

        function init() { settingsModel.added = []; page.centre = null; page.problem = "" }

        function test_badRadiusNotSent_data() {
            return [{ tag: "zero", radius: "0" }, { tag: "beyond 50 km", radius: "50001" }, { tag: "empty", radius: "" }]
        }
        function test_badRadiusNotSent(data) {
            page.centre = page.lastPosition()
            findChild(page, "radiusField").text = data.radius
            page.addZone()
            compare(settingsModel.added.length, 0)
            verify(page.problem !== "")
        }
        function test_noCentreNotSent() {
            page.addZone()
            compare(settingsModel.added.length, 0)
            verify(page.problem.indexOf("Tap the map") === 0)
        }
        function test_lastPositionZoneSent() {
            page.centre = page.lastPosition()
            findChild(page, "radiusField").text = "150"
            page.addZone()
            compare(settingsModel.added.length, 1)
            compare(settingsModel.added[0][0], 61.49)
            compare(settingsModel.added[0][2], 150)
            compare(page.centre, null)
        }
    }
}
