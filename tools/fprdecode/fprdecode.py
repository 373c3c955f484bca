#!/usr/bin/env python3
"""Decoder and validator for vomu-fpcd fingerprint reports (FPR).

Reads one binary report, checks every length and the checksum, and prints the
report as JSON (or as a short text summary).  A malformed report ends with a
one-line error naming the byte offset of the fault and exit status 1.

    fprdecode.py [--pretty | --summary] REPORT      (REPORT "-" reads stdin)

As a module:

    from fprdecode import decode, ReportError
    try:
        report = decode(data)          # dict, the same as the JSON output
    except ReportError as e:
        print(e.offset, e.message)

Report layout (all integers little-endian, strings are a length byte and UTF-8):
    header     00 00 03 "linux" 00 "vomufpc" 15 00 "terminal"
    identities user id, hardware id, user name
    u16 fingerprint count, u16 checksum (1 + sum of every other byte, mod 2^16)
    records    u32 time, u8 trust level, u8 element count, elements
    element    u8 id, u16 content length, content
               ids: 1 GERAN, 2 UTRA-FDD, 3 GNSS, 5 WLAN
"""

import argparse
import datetime
import json
import sys

GERAN, UTRA_FDD, GNSS, WLAN = 1, 2, 3, 5
ELEMENT_NAMES = {GERAN: "GERAN", UTRA_FDD: "UTRA-FDD", GNSS: "GNSS", WLAN: "WLAN"}

# GNSS time counts milliseconds from 0000-01-01 00:00 UTC.
GNSS_TIME_TO_UNIX_MS = 62167219200000

# The fixed part of the header, in order: plain bytes and length-prefixed strings.
HEADER_LAYOUT = (
    ("byte", 0x00), ("byte", 0x00), ("byte", 0x03),
    ("string", "platform", "linux"),
    ("byte", 0x00),
    ("string", "client", "vomufpc"),
    ("byte", 0x15), ("byte", 0x00),
    ("string", "terminalType", "terminal"),
)


class ReportError(Exception):
    """A malformed report: `offset` is the byte where the fault was found."""

    def __init__(self, offset, message):
        super().__init__("offset %d: %s" % (offset, message))
        self.offset = offset
        self.message = message


class Reader:
    """Cursor over data[pos:end]. `end` is the end of the report or of the
    element content being decoded, so no field can read past its container."""

    def __init__(self, data, pos, end, scope):
        self.data = data
        self.pos = pos
        self.end = end
        self.scope = scope

    def remaining(self):
        return self.end - self.pos

    def take(self, size, what):
        if size > self.remaining():
            raise ReportError(self.pos, "%s needs %d byte(s), only %d left in %s"
                              % (what, size, self.remaining(), self.scope))
        chunk = self.data[self.pos:self.pos + size]
        self.pos += size
        return chunk

    def uint(self, size, what):
        return int.from_bytes(self.take(size, what), "little")

    def sint(self, size, what):
        return int.from_bytes(self.take(size, what), "little", signed=True)

    def flags(self, what, allowed):
        """A flag byte; bits outside `allowed` would change the field layout
        in ways the format does not define, so they are an error."""
        offset = self.pos
        value = self.uint(1, what)
        if value & ~allowed:
            raise ReportError(offset, "%s 0x%02x has undefined bits set (allowed 0x%02x)"
                              % (what, value, allowed))
        return value

    def string(self, what):
        offset = self.pos
        length = self.uint(1, what + " length")
        if length > self.remaining():
            raise ReportError(offset, "%s length %d runs past end of %s"
                              % (what, length, self.scope))
        raw = self.take(length, what)
        try:
            return raw.decode("utf-8")
        except UnicodeDecodeError as err:
            raise ReportError(offset + 1 + err.start, "%s is not valid UTF-8" % what) from None


# ---------------------------------------------------------------- helpers

def k_to_metres(k):
    """K values code a distance r = 5 * (1.02^K - 1) metres."""
    return round(5.0 * (1.02 ** k - 1.0), 2)


def iso_utc(unix_ms):
    """ISO 8601 text of a Unix time in milliseconds, or None outside years 1..9999."""
    try:
        moment = datetime.datetime(1970, 1, 1, tzinfo=datetime.timezone.utc) \
            + datetime.timedelta(milliseconds=unix_ms)
    except OverflowError:
        return None
    text = moment.isoformat(timespec="milliseconds" if unix_ms % 1000 else "seconds")
    return text.replace("+00:00", "Z")


def mac_text(raw):
    """An 8-byte field starting with two zero bytes holds a 48-bit address."""
    if len(raw) == 8 and raw[0] == 0 and raw[1] == 0:
        raw = raw[2:]
    return ":".join("%02x" % b for b in raw)


def popcount(value):
    return bin(value).count("1")


# ---------------------------------------------------------------- elements

def decode_gnss(r):
    size = r.remaining()
    fields = {}
    lat = r.sint(4, "latitude")
    lon = r.sint(4, "longitude")
    fields["latitudeNormalized"] = lat
    fields["latitude"] = round(lat * 90.0 / 2 ** 31, 9)
    fields["longitudeNormalized"] = lon
    fields["longitude"] = round(lon * 180.0 / 2 ** 31, 9)
    mask_offset = r.pos
    mask = r.flags("uncertainty mask", 0x07)
    fields["uncertaintyMask"] = mask
    expected = 9 + (6 if mask & 1 else 0) + (1 if mask & 2 else 3) + (3 if mask & 4 else 0)
    if size != expected:
        raise ReportError(mask_offset, "GNSS content is %d bytes, uncertainty mask 0x%02x needs %d"
                          % (size, mask, expected))
    if mask & 1:
        gps_ms = r.uint(6, "GPS time")
        fields["gpsTimeMSecs"] = gps_ms
        fields["gpsTimeIso"] = iso_utc(gps_ms - GNSS_TIME_TO_UNIX_MS)
    if mask & 2:
        k = r.uint(1, "CEP68 K")
        fields["cep68K"] = k
        fields["cep68"] = k_to_metres(k)
    else:
        major = r.uint(1, "major axis K")
        minor = r.uint(1, "minor axis K")
        fields["majorAxisK"] = major
        fields["majorAxis"] = k_to_metres(major)
        fields["minorAxisK"] = minor
        fields["minorAxis"] = k_to_metres(minor)
        fields["offsetAngle"] = r.uint(1, "offset angle")
    if mask & 4:
        fields["altitude"] = r.sint(2, "altitude")
        k = r.uint(1, "altitude accuracy K")
        fields["altitudeAccuracyK"] = k
        fields["altitudeAccuracy"] = k_to_metres(k)
    return fields


def decode_geran(r):
    fields = {
        "mcc": r.uint(2, "MCC"),
        "mnc": r.uint(2, "MNC"),
        "lac": r.uint(2, "LAC"),
        "cellId": r.uint(2, "cell id"),
    }
    flags = r.flags("GERAN flags", 0x03)
    fields["flags"] = flags
    if flags & 1:
        fields["rxLevel"] = r.uint(1, "rx level")
    if flags & 2:
        fields["timingAdvance"] = r.uint(1, "timing advance")
    neighbours = []
    while r.remaining():
        what = "GERAN neighbour %d" % len(neighbours)
        cell = {"offset": r.pos,
                "bsic": r.uint(1, what + " BSIC"),
                "bcch": r.uint(2, what + " BCCH")}
        cell_flags = r.flags(what + " flags", 0x03)
        cell["flags"] = cell_flags
        if cell_flags & 1:
            cell["lac"] = r.uint(2, what + " LAC")
            cell["cellId"] = r.uint(2, what + " cell id")
        if cell_flags & 2:
            cell["rxLevel"] = r.uint(1, what + " rx level")
        neighbours.append(cell)
    fields["neighbours"] = neighbours
    return fields


def decode_utra_fdd(r):
    fields = {
        "mcc": r.uint(2, "MCC"),
        "mnc": r.uint(2, "MNC"),
        "ucId": r.uint(4, "UC-ID"),
    }
    flags = r.flags("UTRA-FDD flags", 0x01)
    fields["flags"] = flags
    if flags & 1:
        fields["lac"] = r.uint(2, "LAC")
    neighbours = []
    while r.remaining():
        what = "UTRA-FDD neighbour %d" % len(neighbours)
        cell = {"offset": r.pos,
                "uarfcnDl": r.uint(2, what + " UARFCN"),
                "pCpich": r.uint(2, what + " P-CPICH")}
        cell_flags = r.flags(what + " flags", 0x3E)
        cell["flags"] = cell_flags
        if cell_flags & 2:
            cell["rssi"] = r.uint(1, what + " RSSI")
        if cell_flags & 4:
            cell["ucId"] = r.uint(4, what + " UC-ID")
        if cell_flags & 8:
            cell["ecn0"] = r.uint(1, what + " Ec/N0")
        if cell_flags & 16:
            # Sent as the measured value minus 5 in a signed byte.
            encoded = r.sint(1, what + " RSCP")
            cell["rscpEncoded"] = encoded
            cell["rscp"] = (encoded + 5) & 0xFF
        if cell_flags & 32:
            # Sent as the measured value plus 46 in an unsigned byte.
            encoded = r.uint(1, what + " pathloss")
            cell["pathlossEncoded"] = encoded
            cell["pathloss"] = (encoded - 46) & 0xFF
        neighbours.append(cell)
    fields["neighbours"] = neighbours
    return fields


def wlan_address_length(r):
    """Bytes of the WLAN address field. It is 8 bytes, but bytes the access
    point's address did not set are left out; the flags byte after it must
    then announce exactly the optional fields that fill the rest."""
    size = r.remaining()
    for length in range(8, -1, -1):
        if length < size:
            flags = r.data[r.pos + length]
            if flags & ~0x07 == 0 and length + 1 + popcount(flags) == size:
                return length
    raise ReportError(r.pos, "WLAN content of %d bytes does not hold an address, "
                             "a flags byte and the fields the flags announce" % size)


def decode_wlan(r):
    length = wlan_address_length(r)
    raw = r.take(length, "MAC address")
    fields = {"mac": mac_text(raw)}
    if length == 8:
        fields["macBits"] = 48 if raw[:2] == b"\0\0" else 64
    else:
        fields["macBytes"] = length
    flags = r.flags("WLAN flags", 0x07)
    fields["flags"] = flags
    if flags & 1:
        fields["powerRx"] = r.sint(1, "received power")
    if flags & 2:
        fields["powerTx"] = r.sint(1, "transmit power")
    if flags & 4:
        fields["rssi"] = r.uint(1, "RSSI")
    return fields


CONTENT_DECODERS = {GERAN: decode_geran, UTRA_FDD: decode_utra_fdd,
                    GNSS: decode_gnss, WLAN: decode_wlan}


def decode_element(r):
    start = r.pos
    element_id = r.uint(1, "element id")
    if element_id not in CONTENT_DECODERS:
        raise ReportError(start, "unknown element id %d" % element_id)
    name = ELEMENT_NAMES[element_id]
    length_offset = r.pos
    length = r.uint(2, "element length")
    if length > r.remaining():
        raise ReportError(length_offset, "element length %d runs past end of %s"
                          % (length, r.scope))
    content = Reader(r.data, r.pos, r.pos + length,
                     "%s content (%d bytes at offset %d)" % (name, length, r.pos))
    element = {"offset": start, "id": element_id, "kind": name, "length": length}
    element.update(CONTENT_DECODERS[element_id](content))
    if content.remaining():
        raise ReportError(content.pos, "%d byte(s) left over at end of %s"
                          % (content.remaining(), content.scope))
    r.pos = content.end
    return element


# ---------------------------------------------------------------- records

def check_element_order(element, index, seen_wlan):
    """A record holds the GNSS element first, then the cell elements, then WLAN."""
    if element["id"] == GNSS and index != 0:
        raise ReportError(element["offset"], "GNSS element is element %d, "
                                             "it may only come first" % index)
    if element["id"] in (GERAN, UTRA_FDD) and seen_wlan:
        raise ReportError(element["offset"], "%s element follows a WLAN element"
                          % element["kind"])


def decode_fingerprint(r, index):
    start = r.pos
    what = "fingerprint %d" % index
    seconds = r.uint(4, what + " time")
    record = {
        "offset": start,
        "time": seconds,
        "timeIso": iso_utc(seconds * 1000),
        "trustLevel": r.uint(1, what + " trust level"),
        "elementCount": r.uint(1, what + " element count"),
    }
    elements = []
    seen_wlan = False
    for i in range(record["elementCount"]):
        element = decode_element(r)
        check_element_order(element, i, seen_wlan)
        seen_wlan = seen_wlan or element["id"] == WLAN
        elements.append(element)
    record["elements"] = elements
    return record


def decode_header(r):
    fixed = []
    header = {"fixed": fixed}
    for entry in HEADER_LAYOUT:
        offset = r.pos
        if entry[0] == "byte":
            value = r.uint(1, "fixed header byte")
            if value != entry[1]:
                raise ReportError(offset, "fixed header byte is 0x%02x, expected 0x%02x"
                                  % (value, entry[1]))
            fixed.append(value)
        else:
            _, key, expected = entry
            value = r.string(key + " string")
            if value != expected:
                raise ReportError(offset, "%s string is %r, expected %r" % (key, value, expected))
            header[key] = value
    return header


def checksum_of(data, checksum_offset):
    """1 plus every byte except the two checksum bytes, truncated to 16 bits."""
    total = 1 + sum(data) - data[checksum_offset] - data[checksum_offset + 1]
    return total & 0xFFFF


def decode(data):
    """Decodes a whole report (bytes); returns a dict or raises ReportError."""
    data = bytes(data)
    r = Reader(data, 0, len(data), "report (size %d)" % len(data))
    header = decode_header(r)
    identities = {
        "userId": r.string("user id"),
        "hwId": r.string("hardware id"),
        "userName": r.string("user name"),
    }
    count = r.uint(2, "fingerprint count")
    checksum_offset = r.pos
    stored = r.uint(2, "checksum")
    fingerprints = [decode_fingerprint(r, i) for i in range(count)]
    if r.remaining():
        raise ReportError(r.pos, "%d trailing byte(s) after %d fingerprint record(s) (size %d)"
                          % (r.remaining(), count, len(data)))
    computed = checksum_of(data, checksum_offset)
    if stored != computed:
        raise ReportError(checksum_offset, "checksum mismatch: stored 0x%04x, computed 0x%04x"
                          % (stored, computed))
    return {
        "size": len(data),
        "header": header,
        "identities": identities,
        "count": count,
        "checksum": {"offset": checksum_offset, "stored": stored, "computed": computed},
        "fingerprints": fingerprints,
    }


# ---------------------------------------------------------------- output

def element_summary(e):
    kind = e["kind"]
    if kind == "GNSS":
        text = "GNSS %.7f,%.7f" % (e["latitude"], e["longitude"])
        if "cep68" in e:
            text += " cep68 %sm" % e["cep68"]
        if "altitude" in e:
            text += " alt %dm" % e["altitude"]
        return text
    if kind == "GERAN":
        return "GERAN %d-%d lac %d cell %d, %d neighbour(s)" % (
            e["mcc"], e["mnc"], e["lac"], e["cellId"], len(e["neighbours"]))
    if kind == "UTRA-FDD":
        return "UTRA-FDD %d-%d uc-id %d, %d neighbour(s)" % (
            e["mcc"], e["mnc"], e["ucId"], len(e["neighbours"]))
    levels = " ".join("%s %d" % (k, e[k]) for k in ("powerRx", "powerTx", "rssi") if k in e)
    return ("WLAN %s %s" % (e["mac"], levels)).rstrip()


def summary(report):
    ident = report["identities"]
    lines = ["report: %d bytes, %d fingerprint(s), checksum 0x%04x ok, user id %s, hw id %s, "
             "user name %s" % (report["size"], report["count"], report["checksum"]["stored"],
                               json.dumps(ident["userId"]), json.dumps(ident["hwId"]),
                               json.dumps(ident["userName"]))]
    for i, fp in enumerate(report["fingerprints"]):
        parts = "; ".join(element_summary(e) for e in fp["elements"])
        lines.append("#%d %s trust %d, %d element(s): %s"
                     % (i, fp["timeIso"], fp["trustLevel"], fp["elementCount"], parts))
    return "\n".join(lines)


def read_input(path):
    if path == "-":
        return sys.stdin.buffer.read()
    with open(path, "rb") as handle:
        return handle.read()


def main(argv=None):
    parser = argparse.ArgumentParser(
        prog="fprdecode", description="Validate a vomu-fpcd fingerprint report and print it as JSON.")
    parser.add_argument("report", help='report file, or "-" for standard input')
    style = parser.add_mutually_exclusive_group()
    style.add_argument("--pretty", action="store_true", help="indented JSON")
    style.add_argument("--summary", action="store_true", help="one text line per fingerprint")
    args = parser.parse_args(argv)
    try:
        data = read_input(args.report)
    except OSError as err:
        print("fprdecode: cannot read %s: %s" % (args.report, err.strerror), file=sys.stderr)
        return 2
    try:
        report = decode(data)
    except ReportError as err:
        print("fprdecode: %s" % err, file=sys.stderr)
        return 1
    if args.summary:
        print(summary(report))
    else:
        print(json.dumps(report, indent=2 if args.pretty else None, ensure_ascii=False))
    return 0


if __name__ == "__main__":
    sys.exit(main())
