"""A hostile web service of the tests' own, inside the test process: python's
http.server and ssl on loopback (not the stand-in, which shares the client's
reading of the service). HTTPS on one port with a certificate made at start,
plain HTTP on another; every request and every plain-HTTP connection is
recorded. What the HTTPS side answers is set per test:

    service = HostileService(folder)
    service.answer = redirect(307, service.plain_url("/activate"))
    ...
    service.stop()
"""

import http.server
import json
import os
import ssl
import sys
import threading
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "standin"))
from standin import make_certificate  # noqa: E402  (only the self-signed certificate)

CHUNK = b"x" * 65536


class Gone(Exception):
    """The client hung up."""


def send(handler, data):
    try:
        handler.wfile.write(data)
        handler.wfile.flush()
    except (BrokenPipeError, ConnectionResetError, ssl.SSLError, OSError) as error:
        raise Gone() from error


# ---- answers: each is called with the request handler

def json_answer(value, status=200):
    return json_text_answer(json.dumps(value).encode("utf-8"), status)


def json_text_answer(body, status=200):
    """`body` (bytes) as it stands, said to be JSON."""
    def answer(handler):
        handler.send_response(status)
        handler.send_header("Content-Type", "application/json")
        handler.send_header("Content-Length", str(len(body)))
        handler.end_headers()
        send(handler, body)
    return answer


def json_list_answer(head, item, tail, size):
    """A JSON text of exactly `size` bytes: `head`, `item` repeated with commas, `tail`."""
    count = (size - len(head) - len(tail) + 1) // (len(item) + 1)
    body = head + b",".join([item] * count) + tail
    return json_text_answer(body + b" " * (size - len(body)))


def redirect(status, location):
    def answer(handler):
        handler.send_response(status)
        handler.send_header("Location", location)
        handler.send_header("Content-Length", "0")
        handler.end_headers()
    return answer


def endless_body(handler):
    """A 200 whose chunked body never ends."""
    handler.send_response(200)
    handler.send_header("Content-Type", "application/json")
    handler.send_header("Transfer-Encoding", "chunked")
    handler.end_headers()
    chunk = b"%x\r\n%s\r\n" % (len(CHUNK), CHUNK)
    while not handler.server.owner.stopping.is_set():
        send(handler, chunk)
        handler.server.owner.count_sent(len(CHUNK))


def declared_body(size):
    """A 200 that announces `size` bytes and sends them."""
    def answer(handler):
        handler.send_response(200)
        handler.send_header("Content-Type", "application/json")
        handler.send_header("Content-Length", str(size))
        handler.end_headers()
        left = size
        while left > 0 and not handler.server.owner.stopping.is_set():
            part = CHUNK[:min(left, len(CHUNK))]
            send(handler, part)
            left -= len(part)
    return answer


def padded_messages(size):
    """A valid /messages answer of exactly `size` bytes."""
    head, tail = b'{"c": [0, "OK"], "messages": [], "pad": "', b'"}'
    return json_text_answer(head + b"x" * (size - len(head) - len(tail)) + tail)


def endless_headers(handler):
    """A status line followed by header lines that never end."""
    send(handler, b"HTTP/1.1 200 OK\r\n")
    line = b"X-Padding: " + b"y" * 1000 + b"\r\n"
    while not handler.server.owner.stopping.is_set():
        send(handler, line * 16)


def by_path(answers, default):
    def answer(handler):
        answers.get(handler.path.split("?")[0], default)(handler)
    return answer


class TlsHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.serve("GET")

    def do_POST(self):
        self.serve("POST")

    def read_body(self):
        # The agent's requests all say how long they are.
        length = int(self.headers.get("Content-Length", "0") or "0")
        return self.rfile.read(length) if length > 0 else b""

    def serve(self, method):
        owner = self.server.owner
        body = self.read_body()
        owner.record({"port": "https", "method": method, "path": self.path, "body": body})
        try:
            owner.answer(self)
        except Gone:
            self.close_connection = True
        owner.record_answered(self.path)


class PlainHandler(TlsHandler):
    def serve(self, method):
        body = self.read_body()
        self.server.owner.record({"port": "http", "method": method, "path": self.path, "body": body})
        json_answer({"c": [0, "OK"], "account_key": "stolen"})(self)


class QuietServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        pass  # clients that hang up are what these tests are about


class PlainServer(QuietServer):
    def verify_request(self, request, client_address):
        self.owner.count_plain_connection()
        return True


class HostileService:
    def __init__(self, folder):
        self.cert, key = make_certificate(folder)
        self.lock = threading.Lock()
        self.stopping = threading.Event()
        self.requests = []
        self.answered = []
        self.plain_connections = 0
        self.bytes_sent = 0
        self.answer = json_answer({"c": [0, "OK"], "messages": []})
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self.cert, key)
        self.tls = QuietServer(("127.0.0.1", 0), TlsHandler)
        self.tls.socket = context.wrap_socket(self.tls.socket, server_side=True)
        self.plain = PlainServer(("127.0.0.1", 0), PlainHandler)
        self.threads = []
        for server in (self.tls, self.plain):
            server.owner = self
            thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True)
            thread.start()
            self.threads.append(thread)
        self.host = "127.0.0.1:%d" % self.tls.server_address[1]

    def https_url(self, path):
        return "https://%s%s" % (self.host, path)

    def plain_url(self, path):
        return "http://127.0.0.1:%d%s" % (self.plain.server_address[1], path)

    def record(self, entry):
        with self.lock:
            entry["time"] = time.time()
            self.requests.append(entry)

    def record_answered(self, path):
        with self.lock:
            self.answered.append(path)

    def count_plain_connection(self):
        with self.lock:
            self.plain_connections += 1

    def count_sent(self, size):
        with self.lock:
            self.bytes_sent += size

    def requests_to(self, path=None, port="https"):
        with self.lock:
            return [r for r in self.requests if r["port"] == port and (path is None or r["path"] == path)]

    def reset(self):
        with self.lock:
            self.requests.clear()
            self.answered.clear()
            self.plain_connections = 0
            self.bytes_sent = 0

    def stop(self):
        self.stopping.set()
        for server in (self.tls, self.plain):
            server.shutdown()
            server.server_close()
        for thread in self.threads:
            thread.join(5)
