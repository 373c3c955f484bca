.pragma library
// The pages' wording, input checks and map arithmetic, kept apart from the
// pages so the tests can check them on their own.

var MaxZoneRadius = 50000
var MetresPerDegree = 111195.08

function bytesText(bytes) {
    if (bytes < 1024)
        return Math.round(bytes) + " B"
    if (bytes < 1024 * 1024)
        return (bytes / 1024).toFixed(bytes < 10240 ? 1 : 0) + " KiB"
    return (bytes / 1048576).toFixed(1) + " MiB"
}

// Share of whole, 0..1; 0 without a whole.
function fraction(part, whole) {
    return whole > 0 ? Math.min(1, Math.max(0, part / whole)) : 0
}

function plural(count, one, many) {
    return count + " " + (count === 1 ? one : many)
}

function kindName(mask) {
    if (mask <= 0 || mask > 15)
        return mask === 0 ? "empty" : "unknown"
    var parts = []
    if (mask & 2) parts.push("Cell")
    if (mask & 8) parts.push("WLAN")
    if (mask & 1) parts.push("GPS")
    if (mask & 4) parts.push("Neighbours")
    return parts.join(" + ")
}

// "3 min ago", "2 h ago", "5 days ago"; "never" for 0.
function agoText(seconds, nowSeconds) {
    if (!seconds)
        return "never"
    var d = Math.max(0, nowSeconds - seconds)
    if (d < 60) return "just now"
    if (d < 3600) return Math.floor(d / 60) + " min ago"
    if (d < 172800) return Math.floor(d / 3600) + " h ago"
    return Math.floor(d / 86400) + " days ago"
}

// Empty when the radius (metres, as typed or slid) may be sent.
function radiusProblem(radius) {
    var r = Number(radius)
    if (String(radius).trim() === "" || isNaN(r))
        return "Enter the radius in metres."
    if (Math.round(r) < 1)
        return "A zone needs a radius of at least 1 m."
    if (r > MaxZoneRadius)
        return "A zone may be at most 50 km wide."
    return ""
}

// "250 m", "1.5 km"
function distanceText(metres) {
    return metres < 1000 ? Math.round(metres) + " m" : (metres / 1000).toFixed(metres < 10000 ? 1 : 0) + " km"
}

// A view of the map: centre and metres per pixel; x grows east, y south.
function project(view, latitude, longitude) {
    var mx = (longitude - view.longitude) * MetresPerDegree * Math.cos(view.latitude * Math.PI / 180)
    var my = (latitude - view.latitude) * MetresPerDegree
    return { x: view.width / 2 + mx / view.scale, y: view.height / 2 - my / view.scale }
}

function unproject(view, x, y) {
    var my = (view.height / 2 - y) * view.scale
    var mx = (x - view.width / 2) * view.scale
    return {
        latitude: view.latitude + my / MetresPerDegree,
        longitude: view.longitude + mx / (MetresPerDegree * Math.cos(view.latitude * Math.PI / 180))
    }
}

// The view that shows every point with a margin; a lone point gets 1 km across.
function fit(points, width, height) {
    if (points.length === 0)
        return { latitude: 0, longitude: 0, scale: 1000, width: width, height: height }
    var s = points[0].latitude, n = s, w = points[0].longitude, e = w
    for (var i = 1; i < points.length; ++i) {
        s = Math.min(s, points[i].latitude); n = Math.max(n, points[i].latitude)
        w = Math.min(w, points[i].longitude); e = Math.max(e, points[i].longitude)
    }
    var lat = (s + n) / 2
    var spanY = (n - s) * MetresPerDegree
    var spanX = (e - w) * MetresPerDegree * Math.cos(lat * Math.PI / 180)
    var scale = Math.max(spanX / Math.max(1, width * 0.85), spanY / Math.max(1, height * 0.85), 1000 / Math.max(1, width))
    return { latitude: lat, longitude: (w + e) / 2, scale: scale, width: width, height: height }
}

// Index of the point nearest to (x, y) within radius pixels, else -1.
function nearest(view, points, x, y, radius) {
    var best = -1, bestD = radius * radius
    for (var i = 0; i < points.length; ++i) {
        var p = project(view, points[i].latitude, points[i].longitude)
        var d = (p.x - x) * (p.x - x) + (p.y - y) * (p.y - y)
        if (d <= bestD) { bestD = d; best = i }
    }
    return best
}
