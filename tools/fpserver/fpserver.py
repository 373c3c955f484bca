#!/usr/bin/env python3
"""Positioning-server stand-in for vomu-fpcd uploads.

An HTTP server on loopback. Every POST (any path) carries one fingerprint
report; the server validates it with the report decoder, keeps it, and answers
with the SLP-FP XML document the daemon expects:

    <SLP-FP version="1.0">
      <server name="fpserver" upload="1"/>
      <fingerprintResponse status="Server.UploadOk" fingerprints="3"/>
    </SLP-FP>

An invalid report is answered with status "Server.InvalidReport". For tests
the server can misbehave instead (see MODES). The mode in force is kept in the
control file STORE/mode: --mode writes it at start, GET /control?mode=MODE
rewrites it while the server runs, and so does editing the file by hand.

A POST to a path ending in /v2/geosubmit (query allowed) is a community
upload instead: a geosubmit v2 JSON body, gzip-compressed when it says
Content-Encoding: gzip. The server checks it against the format (and that no
SSID, no locally administered BSSID and no item without position is in it),
keeps every item in geosubmit.jsonl and answers 200 "{}", or 400 with a JSON
error for a body that is not such a request. The modes apply as for reports;
"fail" answers 400.

Store directory:
    upload-NNNNNN.fpr   the raw body of every POST
    uploads.jsonl       one line per POST: size, validity, error, mode, answer
    fingerprints.jsonl  one line per fingerprint of every accepted upload
    geosubmit.jsonl     one line per item of every accepted geosubmit upload
    mode                the control file: the answer mode in force

    fpserver.py --store DIR [--port N] [--port-file FILE] [--mode MODE]
"""

import argparse
import datetime
import gzip
import http.server
import json
import os
import re
import select
import signal
import sys
import threading
import urllib.parse
from xml.sax.saxutils import quoteattr

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "fprdecode"))
from fprdecode import ReportError, decode  # noqa: E402

STATUS_OK = "Server.UploadOk"
STATUS_INVALID = "Server.InvalidReport"
STATUS_FAILED = "Server.UploadFailed"

# name -> (argument parser or None, default argument, help text)
MODES = {
    "ok": (None, None, "validate and answer normally"),
    "fail": (str, STATUS_FAILED, "answer the status given (default Server.UploadFailed)"),
    "malformed": (None, None, "answer XML that does not parse"),
    "wrong-root": (None, None, "answer a document whose root is not SLP-FP"),
    "no-response": (None, None, "answer SLP-FP without a fingerprintResponse child"),
    "two-responses": (None, None, "answer two fingerprintResponse elements, the second contrary"),
    "empty": (None, None, "answer 200 with an empty body"),
    "http-error": (int, 500, "answer this HTTP error status (default 500)"),
    "delay": (float, 5.0, "answer normally after this many seconds (default 5)"),
    "pieces": (int, 3, "answer normally, written in this many pieces 0.2 s apart (default 3)"),
    "hang": (None, None, "read the report and never answer"),
    "drop": (None, None, "read the report and close the connection without an answer"),
}

# Modes whose answer tells the client that a valid report was taken.
ACCEPTING_MODES = ("ok", "delay", "pieces", "two-responses")

PIECE_PAUSE_SECONDS = 0.2
HOLD_POLL_SECONDS = 0.2


GEOSUBMIT_PATH = "/v2/geosubmit"
MAC_PATTERN = re.compile(r"^[0-9a-f]{2}(:[0-9a-f]{2}){5}$")
POSITION_FIELDS = {"latitude", "longitude", "accuracy", "altitude", "altitudeAccuracy", "age", "heading",
                   "speed", "pressure", "source"}
CELL_FIELDS = {"radioType", "mobileCountryCode", "mobileNetworkCode", "locationAreaCode", "cellId", "age",
               "asu", "primaryScramblingCode", "serving", "signalStrength", "timingAdvance"}
WIFI_FIELDS = {"macAddress", "age", "channel", "frequency", "signalStrength", "signalToNoiseRatio"}
ITEM_FIELDS = {"timestamp", "position", "cellTowers", "wifiAccessPoints", "bluetoothBeacons", "carrier",
               "homeMobileCountryCode", "homeMobileNetworkCode"}


def is_number(value):
    return isinstance(value, (int, float)) and not isinstance(value, bool)


def is_integer(value):
    return isinstance(value, int) and not isinstance(value, bool)


def check_fields(where, obj, allowed, errors):
    if not isinstance(obj, dict):
        errors.append("%s is not an object" % where)
        return False
    for key in obj:
        if key not in allowed:
            errors.append("%s: field %r is not part of the format" % (where, key))
    return True


def geosubmit_errors(document):
    """Every way document differs from a geosubmit v2 request, as texts."""
    errors = []
    if not check_fields("body", document, {"items"}, errors):
        return errors
    items = document.get("items")
    if not isinstance(items, list) or not items:
        return errors + ["items is not a non-empty list"]
    for i, item in enumerate(items):
        where = "items[%d]" % i
        if not check_fields(where, item, ITEM_FIELDS, errors):
            continue
        if "timestamp" in item and not (is_integer(item["timestamp"]) and item["timestamp"] > 10 ** 12):
            errors.append("%s.timestamp is not milliseconds since 1970" % where)
        position = item.get("position")
        if not check_fields(where + ".position", position, POSITION_FIELDS, errors):
            continue
        lat, lon = position.get("latitude"), position.get("longitude")
        if not (is_number(lat) and -90 <= lat <= 90 and is_number(lon) and -180 <= lon <= 180):
            errors.append("%s.position lacks a valid latitude and longitude" % where)
        for key in POSITION_FIELDS - {"latitude", "longitude", "source"}:
            if key in position and not is_number(position[key]):
                errors.append("%s.position.%s is not a number" % (where, key))
        if position.get("source", "gps") not in ("gps", "manual", "fused"):
            errors.append("%s.position.source is not gps, manual or fused" % where)
        for j, cell in enumerate(item.get("cellTowers", [])):
            cwhere = "%s.cellTowers[%d]" % (where, j)
            if not check_fields(cwhere, cell, CELL_FIELDS, errors):
                continue
            if cell.get("radioType") not in ("gsm", "wcdma", "lte"):
                errors.append("%s.radioType is not gsm, wcdma or lte" % cwhere)
            for key in CELL_FIELDS - {"radioType"}:
                if key in cell and not is_integer(cell[key]):
                    errors.append("%s.%s is not an integer" % (cwhere, key))
            if cell.get("radioType") == "wcdma" and is_integer(cell.get("cellId")) and cell["cellId"] >= 2 ** 28:
                errors.append("%s.cellId is not a 28-bit UTRAN cell id" % cwhere)
            if is_integer(cell.get("signalStrength")) and cell["signalStrength"] > 0:
                errors.append("%s.signalStrength is not in dBm" % cwhere)
        for j, ap in enumerate(item.get("wifiAccessPoints", [])):
            awhere = "%s.wifiAccessPoints[%d]" % (where, j)
            if not check_fields(awhere, ap, WIFI_FIELDS, errors):
                continue
            mac = ap.get("macAddress")
            if not (isinstance(mac, str) and MAC_PATTERN.match(mac)):
                errors.append("%s.macAddress is not a lower-case 48-bit address" % awhere)
            elif int(mac[:2], 16) & 2:
                errors.append("%s.macAddress %s is locally administered" % (awhere, mac))
            for key in WIFI_FIELDS - {"macAddress"}:
                if key in ap and not is_integer(ap[key]):
                    errors.append("%s.%s is not an integer" % (awhere, key))
    return errors


def decode_geosubmit(body, encoding):
    """(document, error): the parsed request, or None and why not."""
    try:
        if encoding == "gzip":
            body = gzip.decompress(body)
        document = json.loads(body.decode("utf-8"))
    except (OSError, EOFError, ValueError) as err:
        return None, "body is not %sJSON: %s" % ("gzip-compressed " if encoding == "gzip" else "", err)
    errors = geosubmit_errors(document)
    return (None, "; ".join(errors[:5])) if errors else (document, None)


def log(text):
    print("fpserver: " + text, file=sys.stderr, flush=True)


def parse_mode(text):
    """"name" or "name:argument" -> (name, argument); ValueError if unknown or bad."""
    name, _, arg = text.strip().partition(":")
    if name not in MODES:
        raise ValueError("unknown mode %r (known: %s)" % (name, ", ".join(MODES)))
    convert, default, _ = MODES[name]
    if not arg:
        return name, default
    if convert is None:
        raise ValueError("mode %s takes no argument" % name)
    value = convert(arg)
    if name == "http-error" and not 400 <= value <= 599:
        raise ValueError("http-error needs a status from 400 to 599")
    if name in ("delay", "pieces") and not value >= 0:
        raise ValueError("%s needs a value of 0 or more" % name)
    return name, value


def mode_text(mode):
    name, arg = mode
    return name if arg is None else "%s:%s" % (name, arg)


def write_atomically(path, text):
    temp = "%s.%d.tmp" % (path, threading.get_ident())
    with open(temp, "w", encoding="utf-8") as handle:
        handle.write(text)
    os.replace(temp, path)


# ---------------------------------------------------------------- answers

def slp_document(*responses, root="SLP-FP", upload=0):
    lines = ['<?xml version="1.0" encoding="UTF-8"?>',
             '<%s version="1.0">' % root,
             '  <server name="fpserver" upload="%d"/>' % upload]
    lines += ["  " + r for r in responses]
    lines.append("</%s>" % root)
    return ("\n".join(lines) + "\n").encode("utf-8")


def response_element(status, fingerprints=None):
    extra = "" if fingerprints is None else ' fingerprints="%d"' % fingerprints
    return "<fingerprintResponse status=%s%s/>" % (quoteattr(status), extra)


def answer_body(mode, status, fingerprints, upload):
    """The XML body for a mode that answers with a document."""
    name, arg = mode
    ok = response_element(status, fingerprints)
    if name == "fail":
        return slp_document(response_element(arg), upload=upload)
    if name == "malformed":
        # Ends inside the start tag of a response carrying the success status,
        # so that only a real XML parser notices.
        text = slp_document(ok, upload=upload)
        return text[:text.rindex(b"/>")] + b"\n"
    if name == "wrong-root":
        return slp_document(ok, root="FP-SLP", upload=upload)
    if name == "no-response":
        # A fingerprintResponse nested one level down is not a child of the root.
        return slp_document("<result>%s</result>" % ok, upload=upload)
    if name == "two-responses":
        contrary = STATUS_FAILED if status == STATUS_OK else STATUS_OK
        return slp_document(ok, response_element(contrary), upload=upload)
    return slp_document(ok, upload=upload)


def describe_answer(mode, status):
    """What the answer of a mode looks like, for the log."""
    name, arg = mode
    contrary = STATUS_FAILED if status == STATUS_OK else STATUS_OK
    return {
        "fail": "200 %s" % arg,
        "malformed": "200 malformed XML",
        "wrong-root": "200 root FP-SLP",
        "no-response": "200 without fingerprintResponse",
        "two-responses": "200 %s then %s" % (status, contrary),
        "empty": "200 empty body",
        "http-error": "HTTP %s" % arg,
        "delay": "200 %s after %s s" % (status, arg),
        "pieces": "200 %s in %s pieces" % (status, arg),
        "hang": "no answer, connection held",
        "drop": "connection dropped",
    }.get(name, "200 %s" % status)


# ---------------------------------------------------------------- store

class Store:
    """The store directory: raw reports, the upload and fingerprint logs and
    the control file. One lock keeps numbering and appends in order."""

    def __init__(self, directory, default_mode):
        self.directory = directory
        self.default_mode = default_mode
        self.lock = threading.Lock()
        self.uploads = 0
        self.accepted = 0
        self.fingerprints = 0
        os.makedirs(directory, exist_ok=True)
        # The control file always holds the mode in force; a stale one from
        # an earlier run must not override the command line.
        self.set_mode(default_mode)

    def path(self, name):
        return os.path.join(self.directory, name)

    def mode(self):
        try:
            with open(self.path("mode"), encoding="utf-8") as handle:
                text = handle.read()
        except FileNotFoundError:
            return self.default_mode
        try:
            return parse_mode(text)
        except ValueError as err:
            log("control file %s: %s; using mode %s"
                % (self.path("mode"), err, mode_text(self.default_mode)))
            return self.default_mode

    def set_mode(self, mode):
        write_atomically(self.path("mode"), mode_text(mode) + "\n")

    def keep(self, request_path, body, report, error, mode, status, accepted):
        """Stores one upload; returns its sequence number."""
        with self.lock:
            self.uploads += 1
            number = self.uploads
            name = "upload-%06d.fpr" % number
            with open(self.path(name), "wb") as handle:
                handle.write(body)
            if accepted:
                self.accepted += 1
                self.append_fingerprints(number, report)
            entry = {
                "upload": number,
                "received": datetime.datetime.now(datetime.timezone.utc).isoformat(),
                "path": request_path, "size": len(body), "file": name,
                "valid": report is not None, "error": error,
                "fingerprints": report["count"] if report else None,
                "mode": mode_text(mode), "answer": describe_answer(mode, status),
                "accepted": accepted,
            }
            self.append_line("uploads.jsonl", entry)
            return number

    def append_fingerprints(self, number, report):
        with open(self.path("fingerprints.jsonl"), "a", encoding="utf-8") as handle:
            for index, fingerprint in enumerate(report["fingerprints"]):
                line = {"upload": number, "index": index}
                line.update(report["identities"])
                line.update(fingerprint)
                handle.write(json.dumps(line, ensure_ascii=False) + "\n")
                self.fingerprints += 1

    def keep_geosubmit(self, request_path, body, document, error, mode, accepted):
        """Stores one community upload; returns its sequence number."""
        with self.lock:
            self.uploads += 1
            number = self.uploads
            name = "upload-%06d.geosubmit" % number
            with open(self.path(name), "wb") as handle:
                handle.write(body)
            items = document["items"] if document else []
            if accepted:
                self.accepted += 1
                for index, item in enumerate(items):
                    self.append_line("geosubmit.jsonl", {"upload": number, "index": index, "item": item})
                    self.fingerprints += 1
            self.append_line("uploads.jsonl", {
                "upload": number, "kind": "geosubmit",
                "received": datetime.datetime.now(datetime.timezone.utc).isoformat(),
                "path": request_path, "size": len(body), "file": name,
                "valid": document is not None, "error": error, "fingerprints": len(items),
                "mode": mode_text(mode), "accepted": accepted})
            return number

    def append_line(self, name, entry):
        with open(self.path(name), "a", encoding="utf-8") as handle:
            handle.write(json.dumps(entry, ensure_ascii=False) + "\n")

    def status(self):
        with self.lock:
            return {"mode": mode_text(self.mode()), "uploads": self.uploads,
                    "accepted": self.accepted, "fingerprints": self.fingerprints}


# ---------------------------------------------------------------- HTTP

class BodyError(Exception):
    def __init__(self, code, message):
        super().__init__(message)
        self.code = code


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "fpserver/1.0"

    # --- plumbing

    def log_message(self, fmt, *args):
        pass  # one line per request is written by the handlers themselves

    def send_body(self, code, body, content_type):
        self.send_response(code)
        self.send_header("Content-Type", content_type)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    def send_text(self, code, text):
        self.send_body(code, (text + "\n").encode("utf-8"), "text/plain; charset=utf-8")

    def read_body(self):
        limit = self.server.max_size
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            return self.read_chunked(limit)
        length = self.headers.get("Content-Length")
        if length is None:
            raise BodyError(411, "no Content-Length")
        try:
            size = int(length)
        except ValueError:
            raise BodyError(400, "bad Content-Length %r" % length) from None
        if size < 0 or size > limit:
            raise BodyError(413, "body of %d bytes exceeds the limit of %d" % (size, limit))
        body = self.rfile.read(size)
        if len(body) != size:
            raise BodyError(400, "body ended after %d of %d bytes" % (len(body), size))
        return body

    def read_chunked(self, limit):
        body = bytearray()
        while True:
            line = self.rfile.readline(1024)
            try:
                size = int(line.split(b";")[0], 16)
            except ValueError:
                raise BodyError(400, "bad chunk header %r" % line) from None
            if size < 0:
                raise BodyError(400, "bad chunk size %d" % size)
            if len(body) + size > limit:
                raise BodyError(413, "chunked body exceeds the limit of %d" % limit)
            if size == 0:
                while self.rfile.readline(1024).strip():
                    pass  # trailer lines
                return bytes(body)
            body += self.rfile.read(size)
            self.rfile.readline(1024)

    # --- GET: control and status

    def do_GET(self):
        url = urllib.parse.urlsplit(self.path)
        store = self.server.store
        if url.path == "/control":
            query = urllib.parse.parse_qs(url.query)
            if "mode" in query:
                try:
                    mode = parse_mode(query["mode"][0])
                except ValueError as err:
                    self.send_text(400, "error: %s" % err)
                    log("GET %s -> 400 %s" % (self.path, err))
                    return
                store.set_mode(mode)
            text = "mode %s" % mode_text(store.mode())
            self.send_text(200, text)
            log("GET %s -> 200 %s" % (self.path, text))
        elif url.path == "/status":
            self.send_body(200, json.dumps(store.status()).encode("utf-8"), "application/json")
            log("GET %s -> 200" % self.path)
        else:
            self.send_text(404, "not found; POST reports, GET /control?mode=... or /status")
            log("GET %s -> 404" % self.path)

    # --- POST: one report

    def do_POST(self):
        try:
            body = self.read_body()
        except BodyError as err:
            self.close_connection = True
            self.send_text(err.code, "error: %s" % err)
            log("POST %s -> %d %s" % (self.path, err.code, err))
            return
        if urllib.parse.urlsplit(self.path).path.endswith(GEOSUBMIT_PATH):
            self.geosubmit(body)
            return
        try:
            report, error = decode(body), None
        except ReportError as err:
            report, error = None, str(err)
        mode = self.server.store.mode()
        status = STATUS_OK if report else STATUS_INVALID
        accepted = report is not None and mode[0] in ACCEPTING_MODES
        number = self.server.store.keep(self.path, body, report, error, mode, status, accepted)
        verdict = ("valid, %d fingerprint(s)" % report["count"]) if report else "invalid (%s)" % error
        log("#%d POST %s %d bytes: %s -> %s (mode %s)" % (
            number, self.path, len(body), verdict, describe_answer(mode, status), mode_text(mode)))
        try:
            self.answer(mode, status, report["count"] if report else None, number)
        except OSError as err:
            self.close_connection = True
            log("#%d answer not delivered, client gone: %s" % (number, err.strerror or err))

    def geosubmit(self, body):
        document, error = decode_geosubmit(body, self.headers.get("Content-Encoding", "").strip().lower())
        mode = self.server.store.mode()
        name, arg = mode
        accepted = document is not None and name in ACCEPTING_MODES
        number = self.server.store.keep_geosubmit(self.path, body, document, error, mode, accepted)
        log("#%d geosubmit POST %s %d bytes: %s (mode %s)" % (
            number, self.path, len(body), error or "%d item(s)" % len(document["items"]), mode_text(mode)))
        if name in ("hang", "drop", "http-error"):
            self.answer(mode, None, None, number)
            return
        if name == "delay":
            self.server.stopping.wait(arg)
        if document is None or name == "fail":
            self.send_body(400, json.dumps({"error": {"code": 400, "message": error or "refused"}}).encode(),
                           "application/json")
        else:
            self.send_body(200, b"{}", "application/json")

    def answer(self, mode, status, fingerprints, number):
        name, arg = mode
        if name == "hang":
            self.hold_connection()
        elif name == "drop":
            self.close_connection = True
        elif name == "http-error":
            self.close_connection = True
            self.send_text(arg, "fpserver: simulated HTTP error %d" % arg)
        elif name == "empty":
            self.send_body(200, b"", "text/xml; charset=utf-8")
        elif name == "pieces":
            self.send_in_pieces(answer_body(mode, status, fingerprints, number), arg)
        else:
            if name == "delay":
                self.server.stopping.wait(arg)
            self.send_body(200, answer_body(mode, status, fingerprints, number),
                           "text/xml; charset=utf-8")

    def send_in_pieces(self, body, pieces):
        self.send_response(200)
        self.send_header("Content-Type", "text/xml; charset=utf-8")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.flush()
        step = max(1, -(-len(body) // max(1, pieces)))
        for start in range(0, len(body), step):
            if start:
                self.server.stopping.wait(PIECE_PAUSE_SECONDS)
            self.wfile.write(body[start:start + step])
            self.wfile.flush()

    def hold_connection(self):
        """Keeps the connection open without answering until the client gives
        up or the server stops."""
        self.close_connection = True
        sock = self.connection
        while not self.server.stopping.is_set():
            readable, _, _ = select.select([sock], [], [], HOLD_POLL_SECONDS)
            if readable:
                try:
                    if not sock.recv(4096):
                        return
                except OSError:
                    return


class Server(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def __init__(self, port, store, max_size):
        super().__init__(("127.0.0.1", port), Handler)
        self.store = store
        self.max_size = max_size
        self.stopping = threading.Event()

    def handle_error(self, request, client_address):
        log("request from %s:%d failed: %s" % (client_address + (sys.exc_info()[1],)))


# ---------------------------------------------------------------- main

def parse_args(argv):
    parser = argparse.ArgumentParser(
        prog="fpserver", description="Positioning-server stand-in for vomu-fpcd report uploads.",
        epilog="modes: " + "; ".join("%s: %s" % (k, v[2]) for k, v in MODES.items()))
    parser.add_argument("--store", required=True, help="directory for received reports and logs")
    parser.add_argument("--port", type=int, default=0, help="TCP port on 127.0.0.1 (0 = any free)")
    parser.add_argument("--port-file", help="write the port here once listening")
    parser.add_argument("--mode", default="ok", help="answer mode, NAME or NAME:ARG (default ok)")
    parser.add_argument("--max-size", type=int, default=64 << 20, help="largest accepted body, bytes")
    args = parser.parse_args(argv)
    try:
        args.mode = parse_mode(args.mode)
    except ValueError as err:
        parser.error(str(err))
    return args


def main(argv=None):
    args = parse_args(argv)
    store = Store(args.store, args.mode)
    try:
        server = Server(args.port, store, args.max_size)
    except OSError as err:
        log("cannot listen on 127.0.0.1:%d: %s" % (args.port, err.strerror))
        return 2
    port = server.server_address[1]
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.2})
    thread.start()
    if args.port_file:
        write_atomically(args.port_file, "%d\n" % port)
    print(port, flush=True)
    log("listening on http://127.0.0.1:%d, store %s, mode %s"
        % (port, args.store, mode_text(store.mode())))
    while not stop.wait(1.0):
        pass
    server.stopping.set()
    server.shutdown()
    thread.join()
    server.server_close()
    if args.port_file:
        try:
            os.remove(args.port_file)
        except FileNotFoundError:
            pass
    log("stopped after %d upload(s)" % store.uploads)
    return 0


if __name__ == "__main__":
    sys.exit(main())
