"""The browser extension's side of the agent's local bridge, played by
Debian's python3-websockets: connections on loopback, driven from a test
through plain calls while one asyncio loop runs them on a thread of its own.
Every wait ends with its outcome or after a limit only a fault reaches.
Beside it, a hostile local peer on a plain socket, and what `ss` says a
process listens on."""

import asyncio
import re
import socket
import subprocess
import threading

import websockets

# The ports the agent tries, in its order.
PORT_TABLE = [16587, 19968, 16485, 2961, 62743, 22832, 3900, 7394, 58293, 23552, 20085, 18278, 26078, 61230,
              18814, 35556, 33153, 62463, 32969, 38999, 13813, 29096, 58838, 26223, 18535, 15351, 52270, 30994,
              21143, 34095, 7271, 9014]
CONNECTED = re.compile(r"\[websocket_server\] Connected on port: (\d+)$")
LISTEN_FAILED = "[websocket_server] Failed to start listen on websocket server: "
# The Origin Firefox gives its extensions' scripts.
EXTENSION_ORIGIN = "moz-extension://0d1e7a55-2b1c-4a8e-9a8e-3c5e1f2a9b7d"
UPGRADE = ("GET %s HTTP/1.1\r\nHost: 127.0.0.1\r\nUpgrade: websocket\r\nConnection: Upgrade\r\n"
           "Sec-WebSocket-Key: dGhlIHNhbXBsZSBub25jZQ==\r\nSec-WebSocket-Version: 13\r\n\r\n")


def listening(port, family=socket.AF_INET, host="127.0.0.1"):
    """Whether something accepts connections on `port` of this machine."""
    with socket.socket(family, socket.SOCK_STREAM) as probe:
        probe.settimeout(5)
        return probe.connect_ex((host, port)) == 0


def listening_addresses(pid):
    """(address, port) of every TCP socket `pid` listens on, as `ss -ltnp` shows them, sorted."""
    shown = subprocess.run(["ss", "-ltnpH"], capture_output=True, text=True, check=True, timeout=20).stdout
    found = []
    for line in shown.splitlines():
        if f"pid={pid}," in line:
            address, port = line.split()[3].rsplit(":", 1)
            found.append((address.strip("[]"), int(port)))
    return sorted(found)


def text_frame(payload):
    """One masked WebSocket text frame as a client sends it (a zero mask
    leaves the payload as it is)."""
    size = len(payload)
    if size < 126:
        head = bytes([0x81, 0x80 | size])
    elif size < 1 << 16:
        head = bytes([0x81, 0x80 | 126]) + size.to_bytes(2, "big")
    else:
        head = bytes([0x81, 0x80 | 127]) + size.to_bytes(8, "big")
    return head + bytes(4) + payload


class RawPeer:
    """A hostile local program on a plain socket: it says the opening
    handshake, then sends what it likes and reads nothing more, with the
    smallest receive buffer the kernel gives."""

    def __init__(self, port, resource="/?pavox"):
        self.socket = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        self.socket.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 1)
        self.socket.settimeout(30)
        self.socket.connect(("127.0.0.1", port))
        self.socket.sendall((UPGRADE % resource).encode())
        answer = b""
        while b"\r\n\r\n" not in answer:
            byte = self.socket.recv(1)
            if not byte:
                break
            answer += byte
        self.status = int(answer.split(b" ", 2)[1]) if answer.startswith(b"HTTP/1.1 ") else 0

    def send(self, data):
        """Whether it all went out; false once the agent has ended the connection."""
        try:
            self.socket.sendall(data)
            return True
        except OSError:
            return False

    def close(self):
        self.socket.close()


def bridge_ports(messages):
    """The ports the bridge said it listens on, in the log's order."""
    return [int(m.group(1)) for m in map(CONNECTED.search, messages) if m]


class Extension:
    """A set of connections to the bridge; always ended by `close`."""

    def __init__(self):
        self.loop = asyncio.new_event_loop()
        self.thread = threading.Thread(target=self.loop.run_forever, daemon=True)
        self.thread.start()
        self.connections = []

    def run(self, coroutine, timeout=20):
        return asyncio.run_coroutine_threadsafe(coroutine, self.loop).result(timeout)

    def connect(self, port, host="127.0.0.1", resource="/?pavox", origin=None):
        """An open connection; raises what the handshake raised (for a
        refusal websockets.exceptions.InvalidStatusCode, with its status)."""
        async def open_connection():
            return await websockets.connect(f"ws://{host}:{port}{resource}", origin=origin, open_timeout=10,
                                            close_timeout=10, max_size=None)
        connection = self.run(open_connection())
        self.connections.append(connection)
        return connection

    def send(self, connection, text):
        self.run(connection.send(text))

    def receive(self, connection, timeout=10):
        """The next message as the bytes on the wire."""
        message = self.run(asyncio.wait_for(connection.recv(), timeout), timeout + 5)
        return message.encode("utf-8") if isinstance(message, str) else message

    def hello(self, connection, account_key, version=1):
        self.send(connection, '{"message_id":0,"account_key":"%s","protocol_version":%d}' % (account_key, version))
        return self.receive(connection)

    def wait_closed(self, connection, timeout=20):
        """(close code, reason) once the other side has closed."""
        self.run(asyncio.wait_for(connection.wait_closed(), timeout), timeout + 5)
        return connection.close_code, connection.close_reason

    def close(self):
        async def close_all():
            for connection in self.connections:
                await connection.close()
        try:
            self.run(close_all(), timeout=30)
        finally:
            self.loop.call_soon_threadsafe(self.loop.stop)
            self.thread.join(10)
            if not self.thread.is_alive():
                self.loop.close()
