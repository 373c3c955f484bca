import QtQuick
import QtTest
import "../../../app/qml/Logic.js" as Logic

TestCase {
    name: "Logic"

    function test_radiusBounds() {
        compare(Logic.radiusProblem("0"), "A zone needs a radius of at least 1 m.")
        compare(Logic.radiusProblem("0.4"), "A zone needs a radius of at least 1 m.")
        compare(Logic.radiusProblem("1"), "")
        compare(Logic.radiusProblem("50000"), "")
        compare(Logic.radiusProblem("50001"), "A zone may be at most 50 km wide.")
        verify(Logic.radiusProblem("") !== "")
        verify(Logic.radiusProblem("12a") !== "")
    }

    function test_wording() {
        compare(Logic.bytesText(1023), "1023 B")
        compare(Logic.bytesText(262144), "256 KiB")
        compare(Logic.fraction(5, 0), 0)
        compare(Logic.fraction(300, 200), 1)
        compare(Logic.kindName(11), "Cell + WLAN + GPS")
        compare(Logic.agoText(0, 100), "never")
        compare(Logic.agoText(1000, 1000 + 7200), "2 h ago")
    }

    // A point projected and back lands where it was; a tap finds the nearest dot.
    function test_projection() {
        var view = Logic.fit([{ latitude: 61.48, longitude: 21.79 }, { latitude: 61.50, longitude: 21.81 }], 360, 600)
        var p = Logic.project(view, 61.49, 21.80)
        fuzzyCompare(p.x, 180, 0.5)
        fuzzyCompare(p.y, 300, 0.5)
        var back = Logic.unproject(view, 10, 20)
        var again = Logic.project(view, back.latitude, back.longitude)
        fuzzyCompare(again.x, 10, 1e-6)
        fuzzyCompare(again.y, 20, 1e-6)
        var corner = Logic.project(view, 61.50, 21.81)
        verify(corner.x < 360 && corner.y > 0)
        compare(Logic.nearest(view, [{ latitude: 61.48, longitude: 21.79 }, { latitude: 61.49, longitude: 21.80 }],
                              p.x + 5, p.y, 24), 1)
        compare(Logic.nearest(view, [{ latitude: 61.48, longitude: 21.79 }], p.x, p.y, 24), -1)
    }
}
