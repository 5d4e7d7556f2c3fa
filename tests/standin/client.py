"""Starting the stand-in as a process and steering it, for end-to-end scripts.

    with StandinProcess(state_dir) as standin:
        standin.client.script("/messages", {"status": 500})
        ... run the agent with url = standin.host ...
        requests = standin.client.requests()

The process is ended by its id when the block ends.
"""

import json
import os
import ssl
import subprocess
import urllib.request

HERE = os.path.dirname(os.path.abspath(__file__))

# The first demo account the stand-in knows (service.ACCOUNTS), for agents that upload.
DEMO_ACCOUNT_KEY = "AK-demo-7f3c9e21b8d44a0f9c5e"
DEMO_DATA_KEY = "DK-demo-51ab2c7d9e0f4b13a6c8"


def end_process(process, grace=10):
    """Asks a process to end, and kills it when it has not within `grace` seconds."""
    if process.poll() is None:
        process.terminate()
        try:
            process.wait(grace)
        except subprocess.TimeoutExpired:
            process.kill()
            process.wait()


class StandinClient:
    def __init__(self, port, ca_cert, host="127.0.0.1"):
        self.base = "https://%s:%d" % (host, port)
        self.context = ssl.create_default_context(cafile=ca_cert)
        # Control calls never go through a proxy from the environment.
        self.opener = urllib.request.build_opener(urllib.request.ProxyHandler({}),
                                                  urllib.request.HTTPSHandler(context=self.context))

    def call(self, method, path, payload=None):
        data = None if payload is None else json.dumps(payload).encode("utf-8")
        request = urllib.request.Request(self.base + path, data=data, method=method,
                                         headers={"Content-Type": "application/json"})
        with self.opener.open(request, timeout=10) as answer:
            return json.loads(answer.read().decode("utf-8"))

    def script(self, path, action, count=None):
        """The next `count` requests to `path` ("*": any) get `action`; None: all of them."""
        return self.call("POST", "/_standin/script", {"path": path, "action": action, "count": count})

    def set_state(self, **changes):
        return self.call("POST", "/_standin/state", changes)

    def reset(self):
        return self.call("POST", "/_standin/reset", {})

    def requests(self, path=None):
        logged = self.call("GET", "/_standin/requests")
        return [r for r in logged if path is None or r.get("path") == path]


class StandinProcess:
    def __init__(self, state_dir, probe=True, extra_args=()):
        self.state_dir = state_dir
        args = ["/usr/bin/python3", os.path.join(HERE, "standin.py"), "--state-dir", state_dir]
        if not probe:
            args += ["--probe-port", "-1"]
        self.process = subprocess.Popen(args + list(extra_args), stdout=subprocess.PIPE, text=True)
        line = self.process.stdout.readline()
        if not line:
            self.process.wait(10)
            raise RuntimeError("the stand-in did not start")
        self.info = json.loads(line)
        self.port = self.info["port"]
        self.probe_port = self.info["probe_port"]
        self.ca_cert = self.info["ca_cert"]
        self.host = "127.0.0.1:%d" % self.port
        self.client = StandinClient(self.port, self.ca_cert)

    def stop(self):
        end_process(self.process)
        self.process.stdout.close()

    def __enter__(self):
        return self

    def __exit__(self, *_):
        self.stop()
