#!/usr/bin/python3
"""The Kestrel web service stand-in: HTTPS on loopback, HTTP/1.1, every endpoint.

    standin.py --state-dir DIR [--port 0] [--probe-port 0]

Makes a certificate for 127.0.0.1 and localhost at start, prints one JSON line
{"port", "probe_port", "ca_cert", "state_dir", "pid"} and writes the same to
DIR/standin.json, then serves until SIGTERM or SIGINT.

- DIR/requests.jsonl: one JSON object per request the agent made (method, path,
  query, headers in order, form fields in order, files, raw body, answer).
- DIR/uploads/NNN-<file name>: every file received (activity uploads, debug logs).
- Control, on the same server: POST /_standin/script {"path", "action", "count"}
  scripts a failure (see service.answer_from_script); POST /_standin/state sets
  what the service holds for the agent; POST /_standin/reset; GET
  /_standin/requests. Control requests are not logged.
- The probe port is plain HTTP answering 200 to anything: point the agent's
  reachability probe at it to make the probe succeed.

It never redirects: libcurl re-sends a redirected custom POST without its form.
"""

import argparse
import email.parser
import email.policy
import http.server
import json
import os
import signal
import socket
import ssl
import struct
import subprocess
import sys
import threading
import time
import urllib.parse

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import service as service_module  # noqa: E402


def make_certificate(state_dir):
    cert = os.path.join(state_dir, "standin-cert.pem")
    key = os.path.join(state_dir, "standin-key.pem")
    subprocess.run(
        ["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1",
         "-nodes", "-days", "2", "-subj", "/CN=Kestrel service stand-in",
         "-addext", "subjectAltName=IP:127.0.0.1,DNS:localhost",
         "-keyout", key, "-out", cert],
        check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    return cert, key


def parse_multipart(content_type, body):
    """Ordered text fields and files of a multipart/form-data body."""
    message = email.parser.BytesParser(policy=email.policy.HTTP).parsebytes(
        b"Content-Type: " + content_type.encode("latin-1") + b"\r\n\r\n" + body)
    fields, files = [], []
    if not message.is_multipart():
        return fields, files
    for part in message.iter_parts():
        name = part.get_param("name", header="content-disposition") or ""
        payload = part.get_payload(decode=True) or b""
        file_name = part.get_filename()
        if file_name is not None:
            files.append({"name": name, "filename": file_name, "content_type": part.get_content_type(),
                          "content": payload})
        else:
            fields.append([name, payload.decode("utf-8", errors="replace")])
    return fields, files


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "KestrelStandin/1.0"

    def log_message(self, *args):  # the request log is ours; keep stderr quiet
        pass

    def do_GET(self):
        self.handle_request("GET")

    def do_POST(self):
        self.handle_request("POST")

    def read_body(self):
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            chunks = []
            while True:
                size = int(self.rfile.readline().split(b";")[0].strip() or b"0", 16)
                if size == 0:
                    self.rfile.readline()
                    return b"".join(chunks)
                chunks.append(self.rfile.read(size))
                self.rfile.readline()
        length = int(self.headers.get("Content-Length", "0") or "0")
        return self.rfile.read(length) if length > 0 else b""

    def handle_request(self, method):
        service = self.server.service
        url = urllib.parse.urlsplit(self.path)
        body = self.read_body()
        if url.path.startswith("/_standin/"):
            return self.control(method, url.path, body)
        content_type = self.headers.get("Content-Type", "")
        fields, files = [], []
        if content_type.startswith("multipart/form-data"):
            fields, files = parse_multipart(content_type, body)
        for item in files:
            item["stored"] = service.store_upload(item["filename"], item.pop("content"))
            item["size"] = os.path.getsize(item["stored"])
        entry = {
            "time": time.time(), "method": method, "path": url.path, "query": url.query,
            "headers": [[k, v] for k, v in self.headers.items()],
            "fields": fields, "files": files,
            "body": "" if fields or files else body.decode("utf-8", errors="replace"),
        }
        action = service.take_script(url.path)
        if action is not None:
            entry["scripted"] = action
            delay = float(action.get("delay", 0))
            if delay > 0:
                service_module.wait_interruptibly(service.stopping, delay)
        if action is not None and set(action) - {"delay", "after"}:
            answer = service_module.answer_from_script(action)
        else:
            field_map = {}
            for name, value in fields:
                field_map.setdefault(name, value)
            for item in files:
                field_map.setdefault(item["name"], item["stored"])
            answer = service.answer(method, url.path, urllib.parse.parse_qs(url.query),
                                    {k.lower(): v for k, v in self.headers.items()}, field_map,
                                    {f["name"]: f for f in files}, body)
        entry["answered"] = answer.status
        service.record(entry)
        self.send(answer)

    def send(self, answer):
        if answer.stall:
            service_module.wait_interruptibly(self.server.service.stopping, answer.stall)
        if answer.close:
            self.close_connection = True
            return
        self.send_response(answer.status)
        self.send_header("Content-Type", answer.content_type)
        for name, value in answer.headers:
            self.send_header(name, value)
        if answer.reset_mid_body:
            self.send_header("Content-Length", str(len(answer.body) * 4))
            self.end_headers()
            self.wfile.write(answer.body[: len(answer.body) // 2])
            self.wfile.flush()
            time.sleep(0.05)
            # A zero linger turns the close into a reset.
            self.connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
            os.close(self.connection.detach())
            self.close_connection = True
            return
        self.send_header("Content-Length", str(len(answer.body)))
        self.end_headers()
        self.wfile.write(answer.body)

    def control(self, method, path, body):
        service = self.server.service
        try:
            request = json.loads(body.decode("utf-8")) if body else {}
            if (method, path) == ("GET", "/_standin/requests"):
                result = service.logged_requests()
            elif (method, path) == ("GET", "/_standin/info"):
                result = self.server.info
            elif (method, path) == ("POST", "/_standin/reset"):
                service.reset()
                result = {"ok": True}
            elif (method, path) == ("POST", "/_standin/script"):
                service.add_script(request["path"], request["action"], request.get("count"))
                result = {"ok": True}
            elif (method, path) == ("POST", "/_standin/state"):
                service.set_state(request)
                result = {"ok": True}
            else:
                return self.send(service_module.Answer.json({"error": "unknown control"}, 404))
        except (ValueError, KeyError, TypeError) as error:
            return self.send(service_module.Answer.json({"error": str(error)}, 400))
        self.send(service_module.Answer.json(result))


class ProbeHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def do_GET(self):
        self.server.service.record({"time": time.time(), "method": "GET", "path": self.path, "probe": True})
        body = b"probe ok\n"
        self.send_response(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)


class QuietServer(http.server.ThreadingHTTPServer):
    daemon_threads = True

    def handle_error(self, request, client_address):
        # Clients that hang up (time-outs, refused certificates) are expected here.
        pass


class Standin:
    """The stand-in inside this process: start(), then .port, .ca_cert, .service; stop()."""

    def __init__(self, state_dir, port=0, probe_port=0, host="127.0.0.1"):
        os.makedirs(state_dir, exist_ok=True)
        self.state_dir = os.path.abspath(state_dir)
        self.service = service_module.Service(self.state_dir)
        self.ca_cert, key = make_certificate(self.state_dir)
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(self.ca_cert, key)
        self.server = QuietServer((host, port), Handler)
        self.server.socket = context.wrap_socket(self.server.socket, server_side=True)
        self.server.service = self.service
        self.port = self.server.server_address[1]
        self.probe_server = None
        self.probe_port = None
        if probe_port is not None and probe_port >= 0:
            self.probe_server = QuietServer((host, probe_port), ProbeHandler)
            self.probe_server.service = self.service
            self.probe_port = self.probe_server.server_address[1]
        self.info = {"port": self.port, "probe_port": self.probe_port, "ca_cert": self.ca_cert,
                     "state_dir": self.state_dir, "pid": os.getpid()}
        self.server.info = self.info
        self.threads = []

    def start(self):
        for server in filter(None, (self.server, self.probe_server)):
            thread = threading.Thread(target=server.serve_forever, kwargs={"poll_interval": 0.1}, daemon=True)
            thread.start()
            self.threads.append(thread)
        with open(os.path.join(self.state_dir, "standin.json"), "w") as out:
            json.dump(self.info, out)
        return self

    def stop(self):
        self.service.stopping.set()
        for server in filter(None, (self.server, self.probe_server)):
            server.shutdown()
            server.server_close()
        for thread in self.threads:
            thread.join(5)


def main():
    parser = argparse.ArgumentParser(description=__doc__, formatter_class=argparse.RawDescriptionHelpFormatter)
    parser.add_argument("--state-dir", required=True)
    parser.add_argument("--port", type=int, default=0)
    parser.add_argument("--probe-port", type=int, default=0, help="-1: no probe server")
    parser.add_argument("--host", default="127.0.0.1", choices=["127.0.0.1", "localhost"])
    args = parser.parse_args()
    standin = Standin(args.state_dir, args.port, args.probe_port, args.host).start()
    done = threading.Event()
    for signal_number in (signal.SIGTERM, signal.SIGINT):
        signal.signal(signal_number, lambda *_: done.set())
    print(json.dumps(standin.info), flush=True)
    # A test program that crashes cannot stop us: end with the process that started us.
    parent = os.getppid()
    while not done.wait(0.5):
        if os.getppid() != parent:
            break
    standin.stop()


if __name__ == "__main__":
    main()
