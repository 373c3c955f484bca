#!/usr/bin/env python3
"""Lays out the simulated town used by the demo and the tests.

Writes, next to this script:
    world.json   the radio world (cells and access points) for the simulated
                 radio environment (format: platform/radio/RadioWorld.h)
    walk.gpx     a walk of about 18 minutes through the centre
    drive.gpx    a drive of about 9 minutes around and through the town

The town is planned in metres east (x) and north (y) of the market square and
turned into WGS-84 degrees at the end, so streets, cells and access points are
easy to move. Run it again after changing the plan; tests/town checks that the
routes stay covered (tst_town).

    data/town/make-town.py
"""

import datetime
import json
import math
import os

ORIGIN_LAT = 61.4850
ORIGIN_LON = 21.7970
EARTH_RADIUS_M = 6371009.0
START_TIME = datetime.datetime(2024, 5, 2, 9, 0, 0, tzinfo=datetime.timezone.utc)

# Macro GSM sites on the outskirts (x, y, cid, bsic, bcch, tx dBm).
GSM_CELLS = [
    (-1500, 450, 21101, 12, 62, 43),
    (1150, 950, 21102, 17, 66, 43),
    (1250, -1050, 21103, 23, 70, 43),
    (-900, -1300, 21104, 31, 74, 45),
    (150, 1400, 21105, 36, 78, 43),
    (-1800, -500, 21106, 44, 82, 43),
]

# WCDMA cells in and near the centre (x, y, ucid, scrambling code, uarfcn, CPICH dBm).
WCDMA_CELLS = [
    (-320, -20, 10596353, 101, 10712, 33),
    (60, 230, 10596354, 205, 10712, 33),
    (-420, -380, 10596355, 317, 10737, 33),
    (650, -450, 10596356, 412, 10737, 33),
]

# The walk: station, Station Road, Main Street, the market square, Church
# Street, the river park and Mill Lane (x, y) with a walking pace per leg.
WALK = [(-450, -300), (-450, -50), (-100, -50), (0, 20), (150, 20), (150, 250),
        (0, 330), (-200, 300), (-200, 200)]
WALK_KMH = [5.0, 5.3, 4.6, 5.2, 5.4, 4.9, 5.1, 5.0]

# The drive: from the petrol station along the ring road, back through the
# centre (x, y) with the speed on each leg.
DRIVE = [(-1200, -700), (900, -700), (900, 600), (-300, 600), (-300, -100),
         (-1200, -100)]
DRIVE_KMH = [50.0, 50.0, 45.0, 30.0, 40.0]

AP_SPACING_M = 40.0
# Vendor prefixes of the access points along the walk, in turn.
AP_PREFIXES = ["00:1d:7e", "00:24:d4", "c8:d7:19", "f4:f2:6d", "a0:63:91", "3c:84:6a", "e8:94:f6"]
# Every seventh access point along the walk reports a 64-bit (EUI-64) address.
EUI64_EVERY = 7

# Access points elsewhere: petrol station, shopping centre, sports hall,
# the harbour café and Mill Lane's end (x, y, mac, tx dBm).
EXTRA_APS = [
    (-1190, -680, "00:0f:b5:11:20:01", 18),
    (-1170, -725, "00:0f:b5:11:20:02", 17),
    (880, -690, "b0:48:7a:2c:40:01", 20),
    (930, -720, "b0:48:7a:2c:40:02", 20),
    (905, -660, "02:26:5a:ff:fe:41:90:07", 18),
    (880, 580, "14:cc:20:5e:60:01", 18),
    (-280, 610, "14:cc:20:5e:60:02", 17),
    (-230, 90, "90:f6:52:0a:70:01", 18),
    (-170, 40, "90:f6:52:0a:70:02", 17),
]


def to_degrees(x, y):
    lat = ORIGIN_LAT + math.degrees(y / EARTH_RADIUS_M)
    lon = ORIGIN_LON + math.degrees(x / (EARTH_RADIUS_M * math.cos(math.radians(ORIGIN_LAT))))
    return round(lat, 6), round(lon, 6)


def legs(points):
    for (x1, y1), (x2, y2) in zip(points, points[1:]):
        yield (x1, y1), (x2, y2), math.hypot(x2 - x1, y2 - y1)


def walk_access_points():
    """Houses along the walk, alternately left and right of the street."""
    aps = []
    travelled = AP_SPACING_M / 2
    done = 0.0
    for (x1, y1), (x2, y2), length in legs(WALK):
        ux, uy = (x2 - x1) / length, (y2 - y1) / length
        while travelled <= done + length:
            along = travelled - done
            side = 1 if len(aps) % 2 == 0 else -1
            offset = 18 + 9 * (len(aps) % 3)
            x = x1 + ux * along - uy * offset * side
            y = y1 + uy * along + ux * offset * side
            n = len(aps)
            prefix = AP_PREFIXES[n % len(AP_PREFIXES)]
            if n % EUI64_EVERY == EUI64_EVERY - 1:
                mac = "02:%s:ff:fe:%02x:%02x:%02x" % (prefix[3:8], 0x30 + n, n, 0x11 * (n % 9))
            else:
                mac = "%s:%02x:%02x:%02x" % (prefix, 0x40 + n, (n * 37) % 256, n + 1)
            aps.append((x, y, mac, 15 + (n * 7) % 6))
            travelled += AP_SPACING_M
        done += length
    return aps


def world():
    def place(x, y):
        lat, lon = to_degrees(x, y)
        return {"latitude": lat, "longitude": lon}

    gsm = [dict(mcc=244, mnc=5, lac=4100, cid=cid, bsic=bsic, bcch=bcch, **place(x, y), txPowerDbm=tx)
           for x, y, cid, bsic, bcch, tx in GSM_CELLS]
    wcdma = [dict(mcc=244, mnc=42, lac=4100, ucid=ucid, scramblingCode=sc, uarfcnDl=uarfcn, **place(x, y),
                  txPowerDbm=tx)
             for x, y, ucid, sc, uarfcn, tx in WCDMA_CELLS]
    aps = [dict(mac=mac, **place(x, y), txPowerDbm=tx) for x, y, mac, tx in walk_access_points() + EXTRA_APS]
    start_lat, start_lon = to_degrees(*WALK[0])
    return {
        "seed": 1871,
        "startPosition": {"latitude": start_lat, "longitude": start_lon},
        "followPositionMessages": True,
        "wlanScanDelayMs": 400,
        "wlanScanNeverAnswers": False,
        "gsmCells": gsm,
        "wcdmaCells": wcdma,
        "accessPoints": aps,
        "propagation": {"wlan": {"exponent": 3.3}},
    }


def gpx(name, description, points, speeds, elevation, step_m):
    """Track points every step_m metres, timed by the leg's speed."""
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             "<!-- %s Made by data/town/make-town.py. -->" % description,
             '<gpx version="1.1" creator="vomu-fpcd town" xmlns="http://www.topografix.com/GPX/1/1">',
             "  <trk>", "    <name>%s</name>" % name, "    <trkseg>"]
    seconds = 0.0
    travelled = 0.0

    def point(x, y):
        lat, lon = to_degrees(x, y)
        stamp = (START_TIME + datetime.timedelta(seconds=round(seconds))).strftime("%Y-%m-%dT%H:%M:%SZ")
        ele = elevation + 4.0 * math.sin(travelled / 400.0)
        lines.append('      <trkpt lat="%.6f" lon="%.6f"><ele>%.1f</ele><time>%s</time></trkpt>'
                     % (lat, lon, ele, stamp))

    point(*points[0])
    for ((x1, y1), (x2, y2), length), kmh in zip(legs(points), speeds):
        steps = max(1, round(length / step_m))
        for i in range(1, steps + 1):
            part = length / steps
            seconds += part / (kmh / 3.6)
            travelled += part
            point(x1 + (x2 - x1) * i / steps, y1 + (y2 - y1) * i / steps)
    lines += ["    </trkseg>", "  </trk>", "</gpx>", ""]
    return "\n".join(lines), travelled, seconds


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    with open(os.path.join(here, "world.json"), "w", encoding="utf-8") as handle:
        json.dump(world(), handle, indent=1)
        handle.write("\n")
    routes = [
        ("walk.gpx", "town walk", "A walk from the station through the centre to Mill Lane at walking pace.",
         WALK, WALK_KMH, 12.0, 25.0),
        ("drive.gpx", "town drive", "A drive along the ring road and back through the centre.",
         DRIVE, DRIVE_KMH, 10.0, 100.0),
    ]
    for file_name, name, description, points, speeds, elevation, step in routes:
        text, metres, seconds = gpx(name, description, points, speeds, elevation, step)
        with open(os.path.join(here, file_name), "w", encoding="utf-8") as handle:
            handle.write(text)
        print("%s: %.0f m in %.0f s (%.1f min)" % (file_name, metres, seconds, seconds / 60))
    print("world.json: %d GSM cells, %d WCDMA cells, %d access points"
          % (len(GSM_CELLS), len(WCDMA_CELLS), len(walk_access_points()) + len(EXTRA_APS)))


if __name__ == "__main__":
    main()
