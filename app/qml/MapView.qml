import QtQuick
import QtQuick.Controls
import "Logic.js" as Logic

// The stored fingerprints, cells, access points and privacy zones drawn on
// a Canvas (no tiles): drag to pan, pinch or wheel to zoom, tap to pick.
Item {
    id: map
    property var fingerprints: []
    property var cells: []
    property var accessPoints: []
    property var zones: []
    property var marker: null            // {latitude, longitude, radius} drawn dashed
    property bool showStations: true
    property var view: Logic.fit([], width, height)
    // Until the person pans or zooms, the view keeps everything in sight.
    property bool userMoved: false

    signal tapped(var position, int fingerprint)

    // A control only to read the system palette: light or dark with the system.
    Control { id: themed; visible: false }
    readonly property color ink: themed.palette.text

    clip: true

    function fitAll() {
        var pts = fingerprints.concat(zones)
        view = Logic.fit(pts, width, height)
        userMoved = false
    }
    function zoom(factor, x, y) {
        userMoved = true
        var anchor = Logic.unproject(view, x, y)
        var v = Object.assign({}, view)
        v.scale = Math.min(20000, Math.max(0.05, v.scale / factor))
        var moved = Logic.project(v, anchor.latitude, anchor.longitude)
        v = Object.assign(v, Logic.unproject(v, v.width / 2 + moved.x - x, v.height / 2 + moved.y - y))
        view = v
    }
    function panBy(dx, dy) {
        userMoved = true
        var v = Object.assign({}, view)
        v = Object.assign(v, Logic.unproject(v, v.width / 2 - dx, v.height / 2 - dy))
        view = v
    }

    function follow() {
        if (userMoved)
            view = Object.assign({}, view, { width: width, height: height })
        else
            fitAll()
    }
    onWidthChanged: follow()
    onHeightChanged: follow()
    onFingerprintsChanged: { follow(); canvas.requestPaint() }
    onZonesChanged: { follow(); canvas.requestPaint() }
    onCellsChanged: canvas.requestPaint()
    onAccessPointsChanged: canvas.requestPaint()
    onViewChanged: canvas.requestPaint()
    onMarkerChanged: canvas.requestPaint()
    onShowStationsChanged: canvas.requestPaint()
    onInkChanged: canvas.requestPaint()

    Rectangle { anchors.fill: parent; color: themed.palette.base }

    Canvas {
        id: canvas
        anchors.fill: parent
        renderStrategy: Canvas.Cooperative
        onPaint: {
            var ctx = getContext("2d")
            ctx.reset()
            var v = map.view
            function circle(zone, dashed) {
                var c = Logic.project(v, zone.latitude, zone.longitude)
                var r = zone.radius / v.scale
                ctx.beginPath()
                ctx.arc(c.x, c.y, Math.max(2, r), 0, 2 * Math.PI)
                ctx.fillStyle = dashed ? "rgba(255,160,0,0.20)" : "rgba(211,47,47,0.18)"
                ctx.strokeStyle = dashed ? "#ef6c00" : "#d32f2f"
                ctx.lineWidth = 2
                ctx.fill(); ctx.stroke()
            }
            for (var z = 0; z < map.zones.length; ++z)
                circle(map.zones[z], false)
            if (map.marker)
                circle(map.marker, true)
            var colours = { 15: "#1f77b4", 11: "#ff7f0e", 7: "#2ca02c", 3: "#d62728", 9: "#9467bd",
                            13: "#8c564b", 5: "#e377c2", 1: "#17becf" }
            for (var i = 0; i < map.fingerprints.length; ++i) {
                var f = map.fingerprints[i]
                var p = Logic.project(v, f.latitude, f.longitude)
                if (p.x < -10 || p.y < -10 || p.x > width + 10 || p.y > height + 10)
                    continue
                ctx.beginPath()
                ctx.arc(p.x, p.y, 5, 0, 2 * Math.PI)
                ctx.fillStyle = colours[f.mask] || "#7f7f7f"
                ctx.fill()
            }
            if (map.showStations) {
                ctx.lineWidth = 2
                ctx.strokeStyle = map.ink
                for (var a = 0; a < map.accessPoints.length; ++a) {
                    var ap = Logic.project(v, map.accessPoints[a].latitude, map.accessPoints[a].longitude)
                    ctx.beginPath()
                    ctx.moveTo(ap.x, ap.y - 6); ctx.lineTo(ap.x + 6, ap.y + 5); ctx.lineTo(ap.x - 6, ap.y + 5)
                    ctx.closePath(); ctx.stroke()
                }
                for (var c = 0; c < map.cells.length; ++c) {
                    var cp = Logic.project(v, map.cells[c].latitude, map.cells[c].longitude)
                    ctx.fillStyle = map.ink
                    ctx.fillRect(cp.x - 6, cp.y - 6, 12, 12)
                }
            }
            // Scale bar: the longest of 1, 2 or 5 x 10^n metres within a third of the width.
            var maxM = width / 3 * v.scale
            var step = Math.pow(10, Math.floor(Math.log(maxM) / Math.LN10))
            var len = maxM >= 5 * step ? 5 * step : maxM >= 2 * step ? 2 * step : step
            ctx.strokeStyle = map.ink
            ctx.lineWidth = 3
            ctx.beginPath()
            ctx.moveTo(12, height - 14); ctx.lineTo(12 + len / v.scale, height - 14)
            ctx.stroke()
            ctx.fillStyle = map.ink
            ctx.font = "12px sans-serif"
            ctx.fillText(Logic.distanceText(len), 12, height - 20)
        }
    }

    PinchArea {
        anchors.fill: parent
        property real last: 1
        onPinchStarted: last = 1
        onPinchUpdated: (pinch) => { map.zoom(pinch.scale / last, pinch.center.x, pinch.center.y); last = pinch.scale }

        MouseArea {
            anchors.fill: parent
            property real lastX: 0
            property real lastY: 0
            property bool dragged: false
            onPressed: (mouse) => { lastX = mouse.x; lastY = mouse.y; dragged = false }
            onPositionChanged: (mouse) => {
                if (Math.abs(mouse.x - lastX) + Math.abs(mouse.y - lastY) > 3 || dragged) {
                    dragged = true
                    map.panBy(mouse.x - lastX, mouse.y - lastY)
                    lastX = mouse.x; lastY = mouse.y
                }
            }
            onClicked: (mouse) => {
                if (dragged)
                    return
                map.tapped(Logic.unproject(map.view, mouse.x, mouse.y),
                           Logic.nearest(map.view, map.fingerprints, mouse.x, mouse.y, 24))
            }
            onWheel: (wheel) => map.zoom(wheel.angleDelta.y > 0 ? 1.25 : 0.8, wheel.x, wheel.y)
        }
    }

    Column {
        anchors.right: parent.right
        anchors.top: parent.top
        anchors.margins: 8
        spacing: 6
        RoundButton { text: "+"; width: 48; height: 48; onClicked: map.zoom(1.5, map.width / 2, map.height / 2) }
        RoundButton { text: "−"; width: 48; height: 48; onClicked: map.zoom(1 / 1.5, map.width / 2, map.height / 2) }
        RoundButton { text: "⤢"; width: 48; height: 48; onClicked: map.fitAll() }
    }
}
