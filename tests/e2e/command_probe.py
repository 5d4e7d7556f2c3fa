"""A probe program of tests/probes that reads one command a line and answers
each with one JSON line; always ended by `close`."""

import json
import os
import subprocess

from agent_harness import BUILD_DIR


class CommandProbe:
    def __init__(self, name, args, env):
        self.process = subprocess.Popen(
            [os.path.join(BUILD_DIR, "tests", name), *args], env=env, stdin=subprocess.PIPE,
            stdout=subprocess.PIPE, stderr=subprocess.DEVNULL, text=True, encoding="utf-8")

    def ask(self, line):
        self.process.stdin.write(line + "\n")
        self.process.stdin.flush()
        answer = self.process.stdout.readline()
        if not answer:
            raise RuntimeError("the probe ended while asked: " + line)
        return json.loads(answer)

    def close(self):
        if self.process.poll() is None:
            try:
                self.process.stdin.write("quit\n")
                self.process.stdin.close()
                self.process.wait(timeout=20)
            except (OSError, subprocess.TimeoutExpired):
                self.process.kill()
                self.process.wait()
        self.process.stdout.close()
