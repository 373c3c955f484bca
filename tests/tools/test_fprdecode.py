import json
import os
import random
import subprocess
import sys
import unittest

from fprtestdata import (DECODER, GERAN_NEIGHBOURS, GERAN_PLAIN, GNSS_FULL, GNSS_PLAIN,
                         UTRA_NEIGHBOUR, UTRA_PLAIN, WLAN_64_ALL, WLAN_RSSI, element, record,
                         report, sample_report)

sys.path.insert(0, os.path.dirname(DECODER))
from fprdecode import ReportError, decode  # noqa: E402

# Offsets in sample_report(): header 29 bytes, three empty identities, count at 32,
# checksum at 34, the record at 36, its GNSS element at 42 (content from 45).
CHECKSUM_AT, GNSS_AT = 34, 42
GERAN_AT = GNSS_AT + len(GNSS_PLAIN)


def patched(data, offset, value):
    return data[:offset] + bytes([value]) + data[offset + 1:]


class DecodeTest(unittest.TestCase):
    def test_header_identities_and_records(self):
        data = report()
        self.assertEqual(len(data), 36)
        decoded = decode(data)
        self.assertEqual((decoded["count"], decoded["checksum"]["stored"]), (0, (1 + sum(data[:34])) & 0xFFFF))
        self.assertEqual(decoded["header"], {"fixed": [0, 0, 3, 0, 0x15, 0], "platform": "linux",
                                             "client": "vomufpc", "terminalType": "terminal"})
        ids = decode(report(user="jäger".encode(), hw=b"hw-1"))["identities"]
        self.assertEqual(ids, {"userId": "jäger", "hwId": "hw-1", "userName": ""})
        first, second = decode(report([record([GNSS_FULL, UTRA_NEIGHBOUR, WLAN_RSSI, WLAN_64_ALL], time=1),
                                       record([], time=2, trust=255)]))["fingerprints"]
        self.assertEqual([e["kind"] for e in first["elements"]], ["GNSS", "UTRA-FDD", "WLAN", "WLAN"])
        self.assertEqual((second["time"], second["trustLevel"], second["elements"]), (2, 255, []))

    def test_element_fields(self):
        # Decodings the encoder's tests never produce, or that transform values.
        cases = [
            (GNSS_PLAIN, {"latitude": 45.0, "longitude": -90.0, "uncertaintyMask": 0, "majorAxisK": 10,
                          "majorAxis": 1.09, "minorAxisK": 5, "offsetAngle": 30}, ["gpsTimeMSecs", "cep68K", "altitude"]),
            (GNSS_FULL, {"latitude": 0.0, "longitudeNormalized": 2 ** 31 - 1, "uncertaintyMask": 7,
                         "gpsTimeIso": "2023-11-14T22:13:20Z", "cep68K": 20, "cep68": 2.43, "altitude": -12,
                         "altitudeAccuracyK": 30}, ["majorAxisK", "offsetAngle"]),
            (GERAN_NEIGHBOURS, {"rxLevel": 40, "timingAdvance": 7, "neighbours": [
                {"offset": 56, "bsic": 7, "bcch": 60, "flags": 1, "lac": 1001, "cellId": 2001},
                {"offset": 64, "bsic": 9, "bcch": 61, "flags": 2, "rxLevel": 33}]}, []),
            (UTRA_NEIGHBOUR, {"lac": 77, "neighbours": [
                {"offset": 56, "uarfcnDl": 10700, "pCpich": 300, "flags": 0x3E, "rssi": 50, "ucId": 654321,
                 "ecn0": 12, "rscpEncoded": -2, "rscp": 3, "pathlossEncoded": 10, "pathloss": 220}]}, []),
            (WLAN_RSSI, {"mac": "aa:bb:cc:dd:ee:ff", "macBits": 48, "rssi": 200}, ["powerRx", "powerTx"]),
            (WLAN_64_ALL, {"mac": "01:02:03:04:05:06:07:08", "macBits": 64, "powerRx": -70, "powerTx": 15}, []),
            # An address byte that was not set is left out: 7 address bytes.
            (element(5, bytes(range(1, 8)) + bytes([4, 9])), {"mac": "01:02:03:04:05:06:07", "macBytes": 7}, ["macBits"]),
        ]
        for raw, expected, absent in cases:
            with self.subTest(element=raw.hex()):
                fields = decode(report([record([raw])]))["fingerprints"][0]["elements"][0]
                self.assertEqual(fields["length"], len(raw) - 3)
                self.assertEqual({k: fields.get(k) for k in expected}, expected)
                self.assertFalse(set(absent) & set(fields))

    def test_corruptions_name_the_offset(self):
        good = sample_report()
        geran_cut = element(1, GERAN_PLAIN[3:] + b"\x07\x3c\x00")  # neighbour without its flags
        cases = [
            (patched(good, 46, good[46] ^ 1), CHECKSUM_AT, "checksum mismatch"),
            (patched(good, 2, 4), 2, "fixed header byte is 0x04"),
            (patched(good, 29, 250), 29, "user id length 250 runs past end"),
            (patched(patched(good, GNSS_AT + 1, 0x2c), GNSS_AT + 2, 1), GNSS_AT + 1,
             "element length 300 runs past end of report (size %d)" % len(good)),
            (good + b"\0", len(good), "1 trailing byte"),
            (report([record([GNSS_PLAIN])], count=2), 36 + 6 + len(GNSS_PLAIN), "fingerprint 1 time needs 4"),
            (patched(good, GNSS_AT, 4), GNSS_AT, "unknown element id 4"),
            (patched(good, GNSS_AT + 11, 8), GNSS_AT + 11, "uncertainty mask 0x08 has undefined bits"),
            (patched(good, GNSS_AT + 11, 1), GNSS_AT + 11, "mask 0x01 needs 18"),
            (patched(good, GERAN_AT + 11, 4), GERAN_AT + 11, "GERAN flags 0x04"),
            (report([record([geran_cut])]), 42 + 3 + 12, "GERAN neighbour 0 flags needs 1 byte(s), only 0"),
            (report([record([element(5, bytes(8) + b"\x04")])]), 45, "does not hold an address"),
            (report([record([GERAN_PLAIN, GNSS_PLAIN])]), 42 + len(GERAN_PLAIN), "may only come first"),
            (report([record([WLAN_RSSI, UTRA_PLAIN])]), 42 + 13, "UTRA-FDD element follows a WLAN"),
            (report(user=b"\xc3("), 30, "user id is not valid UTF-8"),
        ]
        for data, offset, text in cases:
            with self.subTest(text=text):
                with self.assertRaises(ReportError) as caught:
                    decode(data)
                self.assertEqual(caught.exception.offset, offset, caught.exception)
                self.assertIn(text, caught.exception.message)

    def test_random_damage_never_escapes_as_another_exception(self):
        good = report([record([GNSS_FULL, UTRA_NEIGHBOUR, WLAN_RSSI]), record([GNSS_PLAIN, GERAN_NEIGHBOURS])])
        rng = random.Random(7)
        for _ in range(3000):
            data = bytearray(good)
            data[rng.randrange(len(data))] = rng.randrange(256)
            data = data[:rng.randrange(len(data) - 10, len(data) + 1)]
            try:
                decode(bytes(data))
            except ReportError as err:
                self.assertTrue(0 <= err.offset <= len(data), err)

    def test_command_line(self):
        def run(*args, data=None):
            return subprocess.run([sys.executable, DECODER, *args], input=data, capture_output=True, timeout=30)
        path = os.path.join(os.environ.get("TMPDIR", "/tmp"), "fprdecode-test-%d.fpr" % os.getpid())
        with open(path, "wb") as handle:
            handle.write(sample_report())
        self.addCleanup(os.remove, path)
        done = run(path)
        self.assertEqual(done.returncode, 0, done.stderr)
        self.assertEqual(json.loads(done.stdout)["fingerprints"][0]["elements"][2]["mac"], "aa:bb:cc:dd:ee:ff")
        self.assertEqual(run("--summary", "-", data=sample_report()).stdout.decode().count("\n"), 2)
        # A malformed report: one error line naming the offset, nothing on stdout.
        bad = run("-", data=sample_report()[:-1])
        self.assertEqual((bad.returncode, bad.stdout), (1, b""))
        self.assertRegex(bad.stderr.decode(), r"^fprdecode: offset \d+: .+\n$")
        self.assertEqual(run("/nonexistent/report").returncode, 2)


if __name__ == "__main__":
    unittest.main()
