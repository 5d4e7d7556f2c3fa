"""The browser extension's side of the agent's local bridge, played by
Debian's python3-websockets: connections on loopback, driven from a test
through plain calls while one asyncio loop runs them on a thread of its own.
Every wait ends with its outcome or after a limit only a fault reaches."""

import asyncio
import re
import socket
import threading

import websockets

# The ports the agent tries, in its order.
PORT_TABLE = [16587, 19968, 16485, 2961, 62743, 22832, 3900, 7394, 58293, 23552, 20085, 18278, 26078, 61230,
              18814, 35556, 33153, 62463, 32969, 38999, 13813, 29096, 58838, 26223, 18535, 15351, 52270, 30994,
              21143, 34095, 7271, 9014]
CONNECTED = re.compile(r"\[websocket_server\] Connected on port: (\d+)$")
LISTEN_FAILED = "[websocket_server] Failed to start listen on websocket server: "


def listening(port, family=socket.AF_INET, host="127.0.0.1"):
    """Whether something accepts connections on `port` of this machine."""
    with socket.socket(family, socket.SOCK_STREAM) as probe:
        probe.settimeout(5)
        return probe.connect_ex((host, port)) == 0


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
