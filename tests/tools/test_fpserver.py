import http.client
import json
import os
import signal
import socket
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.error
import urllib.request
import xml.etree.ElementTree as ET

from fprtestdata import SERVER, report, sample_report

OK, INVALID, FAILED = "Server.UploadOk", "Server.InvalidReport", "Server.UploadFailed"


def start_server(store, *args):
    proc = subprocess.Popen([sys.executable, SERVER, "--store", store, "--port", "0", *args],
                            stdout=subprocess.PIPE)
    return proc, int(proc.stdout.readline())


def stop_server(proc):
    proc.send_signal(signal.SIGTERM)
    proc.stdout.close()
    return proc.wait(timeout=10)


def responses(body):
    """Root tag and the statuses of the root's fingerprintResponse children."""
    root = ET.fromstring(body)
    return root.tag, [e.get("status") for e in root if e.tag == "fingerprintResponse"]


class ServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.tmp = tempfile.TemporaryDirectory()
        cls.store = cls.tmp.name
        cls.proc, cls.port = start_server(cls.store)

    @classmethod
    def tearDownClass(cls):
        code = stop_server(cls.proc)
        cls.tmp.cleanup()
        assert code == 0, "server exit status %d" % code

    def tearDown(self):
        self.get("/control?mode=ok")

    def get(self, path):
        with urllib.request.urlopen("http://127.0.0.1:%d%s" % (self.port, path), timeout=10) as answer:
            return answer.read().decode()

    def post(self, body, timeout=10):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=timeout)
        try:
            conn.request("POST", "/fp/upload", body, {"Content-Type": "application/octet-stream"})
            answer = conn.getresponse()
            return answer.status, answer.read()
        finally:
            conn.close()

    def stored_lines(self, name):
        with open(os.path.join(self.store, name), encoding="utf-8") as handle:
            return [json.loads(line) for line in handle]

    def test_valid_upload_is_kept_and_invalid_one_refused(self):
        before = json.loads(self.get("/status"))
        self.assertEqual(self.post(sample_report())[0], 200)
        upload = self.stored_lines("uploads.jsonl")[-1]
        self.assertEqual((upload["valid"], upload["accepted"], upload["fingerprints"]), (True, True, 1))
        with open(os.path.join(self.store, upload["file"]), "rb") as handle:
            self.assertEqual(handle.read(), sample_report())
        fingerprint = self.stored_lines("fingerprints.jsonl")[-1]
        self.assertEqual((fingerprint["upload"], fingerprint["time"]), (upload["upload"], 1700000000))

        code, body = self.post(sample_report()[:-1])
        self.assertEqual((code, responses(body)), (200, ("SLP-FP", [INVALID])))
        self.assertIn("runs past end", self.stored_lines("uploads.jsonl")[-1]["error"])
        after = json.loads(self.get("/status"))
        self.assertEqual((after["fingerprints"], after["accepted"], after["uploads"]),
                         (before["fingerprints"] + 1, before["accepted"] + 1, before["uploads"] + 2))

    def test_answer_modes(self):
        cases = [  # mode, HTTP status, (root, statuses) / body / exception raised by the client
            ("ok", 200, ("SLP-FP", [OK])),
            ("fail:Server.Busy", 200, ("SLP-FP", ["Server.Busy"])),
            ("wrong-root", 200, ("FP-SLP", [OK])),
            ("no-response", 200, ("SLP-FP", [])),
            ("two-responses", 200, ("SLP-FP", [OK, FAILED])),
            ("delay:0.2", 200, ("SLP-FP", [OK])),
            ("pieces:3", 200, ("SLP-FP", [OK])),
            ("malformed", 200, ET.ParseError),
            ("empty", 200, b""),
            ("http-error:503", 503, None),
            ("drop", None, http.client.RemoteDisconnected),
            ("hang", None, socket.timeout),
        ]
        for mode, code, expected in cases:
            with self.subTest(mode=mode):
                self.assertEqual(self.get("/control?mode=" + mode), "mode %s\n" % mode)
                if code is None:
                    self.assertRaises(expected, self.post, sample_report(), timeout=1)
                    continue
                status, body = self.post(sample_report())
                self.assertEqual(status, code)
                if expected is ET.ParseError:
                    self.assertRaises(ET.ParseError, ET.fromstring, body)
                elif expected is not None:
                    self.assertEqual(responses(body) if isinstance(expected, tuple) else body, expected)
                accepted = self.stored_lines("uploads.jsonl")[-1]["accepted"]
                self.assertEqual(accepted, mode.split(":")[0] in ("ok", "delay", "pieces", "two-responses"))

    def test_control(self):
        with self.assertRaises(urllib.error.HTTPError) as caught:
            self.get("/control?mode=sulk")
        self.assertEqual(caught.exception.code, 400)
        with open(os.path.join(self.store, "mode"), "w") as handle:
            handle.write("fail:Server.Full\n")
        self.assertEqual(self.get("/control"), "mode fail:Server.Full\n")
        self.assertEqual(responses(self.post(report())[1])[1], ["Server.Full"])

    def test_sigterm_while_holding_a_connection(self):
        with tempfile.TemporaryDirectory() as store:
            port_file = os.path.join(store, "port")
            proc, port = start_server(store, "--mode", "hang", "--port-file", port_file)
            with open(port_file) as handle:
                self.assertEqual(int(handle.read()), port)
            body = sample_report()
            client = socket.create_connection(("127.0.0.1", port), timeout=10)
            client.sendall(b"POST / HTTP/1.1\r\nHost: x\r\nContent-Length: %d\r\n\r\n" % len(body) + body)
            deadline = time.monotonic() + 10
            while not os.path.exists(os.path.join(store, "uploads.jsonl")) and time.monotonic() < deadline:
                time.sleep(0.05)
            self.assertEqual(stop_server(proc), 0)
            self.assertEqual(client.recv(100), b"")  # closed without an answer
            client.close()
            self.assertFalse(os.path.exists(port_file))


if __name__ == "__main__":
    unittest.main()
