#!/usr/bin/env python3
"""A steerable HTTP (and https) server for the updater's tests.

Started by a test as a child process. It listens on ephemeral ports of
127.0.0.1, connects to the test's port given by --report-to and sends
"HTTP_PORT HTTPS_PORT\n" (0 when https is off) there (the Windows tests under
Wine cannot read a Linux child's output). That connection is its lifeline: when
the test process closes it (or dies), the server ends.

Control requests, all under /__:
  POST /__route?path=P&status=N&mode=M[&announce=N][&header=Name:Value]...
            [&failfirst=N&failmode=M&failstatus=N]
      the request body becomes the body served at P (query ignored for matching);
      the first `failfirst` requests are answered with failmode (default normal)
      and failstatus (default 503) instead.
      mode: normal     Content-Length announced
            nolength   no Content-Length, the body ends when the connection closes
            cutshort   Content-Length `announce` (default: body + 1000), then the
                       body, then the connection closes early
            stall      read the request, then answer nothing
            stallbody  Content-Length `announce` (default: body + 1000), the body,
                       then nothing more while the connection stays open
            reset      the body (with Content-Length `announce` when given),
                       then the connection is reset
            slow       Content-Length announced, the body sent at `rate` bytes/s
      normal and slow answer "Range: bytes=N-" with 206 and the rest, unless
      &ranges=0, or If-Range differs from the route's ETag (else Last-Modified)
      header; a range past the end gets 416.
  GET /__requests   one line per request served outside /__, tab-separated:
                    method, path, query, User-Agent, Range, If-Range, body
                    bytes sent
  GET /__connections  the number of connections that carried such requests
  GET /__shutdown   ends the server
Unknown paths answer 404.
"""
import argparse
import http.server
import os
import shutil
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import time
import urllib.parse

STALL_SECONDS = 600


class State:
    def __init__(self):
        self.lock = threading.Lock()
        self.routes = {}
        self.requests = []
        self.connections = 0


STATE = State()
TEMP_DIR = None


def shut_down():
    if TEMP_DIR:
        shutil.rmtree(TEMP_DIR, ignore_errors=True)
    sys.stdout.flush()
    os._exit(0)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, format, *args):
        pass

    def send_head(self, status, headers=(), length=None, keep_alive=False):
        self.send_response(status)
        for name, value in headers:
            self.send_header(name, value)
        if length is not None:
            self.send_header("Content-Length", str(length))
        if not keep_alive:
            self.send_header("Connection", "close")
        self.end_headers()

    def send_bytes(self, status, body, headers=(), length=None, keep_alive=False, rate=None):
        self.send_head(status, headers, length, keep_alive)
        if rate:
            chunk = max(1, rate // 50)
            try:
                for start in range(0, len(body), chunk):
                    self.wfile.write(body[start:start + chunk])
                    self.wfile.flush()
                    self.record[6] += len(body[start:start + chunk])
                    time.sleep(len(body[start:start + chunk]) / rate)
            except ConnectionError:  # the client went away (killed)
                self.close_connection = True
                return
        else:
            # Counted first: the client may have the whole body and ask for the
            # count before this thread runs again.
            if getattr(self, "record", None) is not None:
                self.record[6] += len(body)
            self.wfile.write(body)
        self.wfile.flush()
        self.close_connection = not keep_alive

    def do_POST(self):
        parts = urllib.parse.urlsplit(self.path)
        length = int(self.headers.get("Content-Length", "0"))
        body = self.rfile.read(length) if length else b""
        if parts.path != "/__route":
            self.send_bytes(404, b"not found", length=9)
            return
        params = urllib.parse.parse_qs(parts.query, keep_blank_values=True)
        route = {
            "status": int(params.get("status", ["200"])[0]),
            "mode": params.get("mode", ["normal"])[0],
            "announce": int(params["announce"][0]) if "announce" in params else None,
            "rate": int(params["rate"][0]) if "rate" in params else None,
            "headers": [tuple(h.split(":", 1)) for h in params.get("header", [])],
            "body": body,
            "failfirst": int(params.get("failfirst", ["0"])[0]),
            "failmode": params.get("failmode", ["normal"])[0],
            "failstatus": int(params.get("failstatus", ["503"])[0]),
            "ranges": params.get("ranges", ["1"])[0] == "1",
        }
        with STATE.lock:
            STATE.routes[params["path"][0]] = route
        self.send_bytes(200, b"ok", length=2)

    def do_GET(self):
        path, _, query = self.path.partition("?")
        if path.startswith("/__"):
            self.control(path)
            return
        agent = self.headers.get("User-Agent", "").replace("\t", " ")
        asked, if_range = self.headers.get("Range", ""), self.headers.get("If-Range", "")
        self.record = ["GET", path, query, agent, asked, if_range, 0]
        with STATE.lock:
            STATE.requests.append(self.record)
            if not getattr(self, "counted", False):
                self.counted = True
                STATE.connections += 1
            route = STATE.routes.get(path)
            failing = route is not None and route["failfirst"] > 0
            if failing:
                route["failfirst"] -= 1
                route = dict(route, mode=route["failmode"], status=route["failstatus"])
        if route is None:
            self.send_bytes(404, b"not found", length=9, keep_alive=True)
            return
        body, mode = route["body"], route["mode"]
        if mode == "stall":
            time.sleep(STALL_SECONDS)
            self.close_connection = True
        elif mode == "stallbody":
            announce = route["announce"] if route["announce"] is not None else len(body) + 1000
            self.send_head(route["status"], route["headers"], announce)
            self.wfile.write(body)
            self.wfile.flush()
            time.sleep(STALL_SECONDS)
            self.close_connection = True
        elif mode == "reset":
            self.send_head(route["status"], route["headers"], route["announce"])
            self.wfile.write(body)
            self.wfile.flush()
            # Let the body reach the client before the reset discards what is unsent.
            time.sleep(0.3)
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            self.connection.close()
            self.close_connection = True
        elif mode == "nolength":
            self.send_bytes(route["status"], body, route["headers"])
        elif mode == "cutshort":
            announce = route["announce"] if route["announce"] is not None else len(body) + 1000
            self.send_bytes(route["status"], body, route["headers"], length=announce)
        else:
            status, headers, part = self.ranged(route, asked, if_range)
            self.send_bytes(status, part, headers, length=len(part), keep_alive=mode == "normal",
                            rate=route["rate"] if mode == "slow" else None)

    def ranged(self, route, asked, if_range):
        status, headers, body = route["status"], list(route["headers"]), route["body"]
        validators = dict((name.lower(), value) for name, value in headers)
        current = validators.get("etag", validators.get("last-modified"))
        if status != 200 or not route["ranges"] or not asked.startswith("bytes=") or not asked.endswith("-"):
            return status, headers, body
        if if_range and if_range != current:
            return status, headers, body
        first = int(asked[len("bytes="):-1])
        if first >= len(body):
            return 416, headers + [("Content-Range", "bytes */%d" % len(body))], b""
        return 206, headers + [("Content-Range", "bytes %d-%d/%d" % (first, len(body) - 1, len(body)))], body[first:]

    def control(self, path):
        self.record = None
        if path == "/__connections":
            with STATE.lock:
                text = str(STATE.connections).encode("utf-8")
            self.send_bytes(200, text, length=len(text))
        elif path == "/__requests":
            with STATE.lock:
                text = "".join("\t".join(map(str, line)) + "\n" for line in STATE.requests).encode("utf-8")
            self.send_bytes(200, text, [("Content-Type", "text/plain")], length=len(text))
        elif path == "/__shutdown":
            self.send_bytes(200, b"bye", length=3)
            shut_down()
        else:
            self.send_bytes(404, b"not found", length=9)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True

    def handle_error(self, request, client_address):
        # A client that goes away mid-answer (a killed updater) is no error here.
        if not issubclass(sys.exc_info()[0], ConnectionError):
            super().handle_error(request, client_address)


def make_certificate(directory):
    cert = os.path.join(directory, "cert.pem")
    key = os.path.join(directory, "key.pem")
    # The name does not match 127.0.0.1 and no authority vouches for it.
    subprocess.run(["openssl", "req", "-x509", "-newkey", "rsa:2048", "-nodes", "-keyout", key,
                    "-out", cert, "-days", "2", "-subj", "/CN=updater-test.invalid"],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


def main():
    global TEMP_DIR
    parser = argparse.ArgumentParser()
    parser.add_argument("--https", action="store_true")
    parser.add_argument("--report-to", type=int, required=True)
    args = parser.parse_args()

    servers = [Server(("127.0.0.1", 0), Handler)]
    if args.https:
        TEMP_DIR = tempfile.mkdtemp(prefix="updater-test-tls-")
        cert, key = make_certificate(TEMP_DIR)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(cert, key)
        secure = Server(("127.0.0.1", 0), Handler)
        secure.socket = context.wrap_socket(secure.socket, server_side=True)
        servers.append(secure)
    ports = [s.server_address[1] for s in servers] + [0]
    line = "%d %d\n" % (ports[0], ports[1])
    for s in servers:
        threading.Thread(target=s.serve_forever, daemon=True).start()
    try:
        with socket.create_connection(("127.0.0.1", args.report_to), timeout=60) as lifeline:
            lifeline.sendall(line.encode("ascii"))
            lifeline.settimeout(None)
            while lifeline.recv(4096):
                pass
    except OSError:
        pass
    shut_down()


if __name__ == "__main__":
    main()
