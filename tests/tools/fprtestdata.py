"""Fingerprint reports built byte by byte from the report format, shared by the
tool tests. Kept independent of the decoder so that each checks the other."""

import os
import struct

TOOLS = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "tools")
DECODER = os.path.join(TOOLS, "fprdecode", "fprdecode.py")


def lstr(raw):
    return bytes([len(raw)]) + raw


HEADER = b"\x00\x00\x03" + lstr(b"linux") + b"\x00" + lstr(b"vomufpc") + b"\x15\x00" + lstr(b"terminal")


def report(records=(), user=b"", hw=b"", name=b"", count=None):
    head = HEADER + lstr(user) + lstr(hw) + lstr(name)
    head += struct.pack("<H", len(records) if count is None else count)
    body = b"".join(records)
    return head + struct.pack("<H", (1 + sum(head) + sum(body)) & 0xFFFF) + body


def element(element_id, content):
    return struct.pack("<BH", element_id, len(content)) + content


def record(elements, time=1700000000, trust=20):
    return struct.pack("<IBB", time, trust, len(elements)) + b"".join(elements)


# GNSS at 45 deg N, 90 deg W: no optional fields (ellipse K 10 / 5, angle 30).
GNSS_PLAIN = element(3, struct.pack("<iiB", 2 ** 30, -2 ** 30, 0) + bytes([10, 5, 30]))
# GNSS with GPS time 2023-11-14T22:13:20Z, CEP68 K 20, altitude -12 m with K 30.
GPS_MS = 62167219200000 + 1700000000000
GNSS_FULL = element(3, struct.pack("<iiB", 0, 2 ** 31 - 1, 7) + GPS_MS.to_bytes(6, "little")
                    + bytes([20]) + struct.pack("<hB", -12, 30))
GERAN_PLAIN = element(1, struct.pack("<HHHHB", 244, 91, 1000, 2000, 0))
GERAN_NEIGHBOURS = element(1, struct.pack("<HHHHBBB", 244, 91, 1000, 2000, 3, 40, 7)
                           + struct.pack("<BHBHH", 7, 60, 1, 1001, 2001)
                           + struct.pack("<BHBB", 9, 61, 2, 33))
UTRA_PLAIN = element(2, struct.pack("<HHIB", 244, 5, 123456, 0))
# One neighbour with every field: RSCP 3 goes out as 3 - 5 = -2, pathloss 220 as (220 + 46) & 0xFF = 10.
UTRA_NEIGHBOUR = element(2, struct.pack("<HHIBH", 244, 5, 123456, 1, 77)
                         + struct.pack("<HHBBIBbB", 10700, 300, 0x3E, 50, 654321, 12, -2, 10))
WLAN_RSSI = element(5, b"\x00\x00\xaa\xbb\xcc\xdd\xee\xff" + bytes([4, 200]))
WLAN_64_ALL = element(5, bytes(range(1, 9)) + bytes([7]) + struct.pack("<bbB", -70, 15, 180))


def sample_report():
    """One fingerprint with a GNSS, a GERAN and a WLAN element."""
    return report([record([GNSS_PLAIN, GERAN_NEIGHBOURS, WLAN_RSSI])])
