"""Small tmpfs mounts for a full or read-only disk under the agent's data
folder. Mounting needs root (or CAP_SYS_ADMIN); where it is refused a test
skips. Every mount is undone by `unmount`, also when the test failed."""

import errno
import os
import subprocess


class Tmpfs:
    def __init__(self, path, size):
        self.path = path
        os.makedirs(path, exist_ok=True)
        result = subprocess.run(["mount", "-t", "tmpfs", "-o", "size=%s,mode=0700" % size, "tmpfs", path],
                                capture_output=True, text=True)
        self.mounted = result.returncode == 0
        self.error = result.stderr.strip()

    def read_only(self):
        subprocess.run(["mount", "-o", "remount,ro", self.path], check=True, capture_output=True)

    def fill(self):
        """Writes a file until the disk is full; answers its path (remove it to make room)."""
        filler = os.path.join(self.path, "filler")
        with open(filler, "wb", buffering=0) as out:
            for chunk in (1 << 20, 4096, 1):
                try:
                    while True:
                        out.write(b"\0" * chunk)
                except OSError as e:
                    if e.errno != errno.ENOSPC:
                        raise
        return filler

    def unmount(self):
        if not self.mounted:
            return
        if subprocess.run(["umount", self.path], capture_output=True).returncode != 0:
            subprocess.run(["umount", "-l", self.path], capture_output=True)
        self.mounted = False


def mount_or_skip(test, path, size):
    """A tmpfs at `path`, unmounted when the test ends; skips the test where mounting is refused."""
    disk = Tmpfs(path, size)
    if not disk.mounted:
        test.skipTest("no tmpfs can be mounted here: " + disk.error)
    test.addCleanup(disk.unmount)
    return disk
