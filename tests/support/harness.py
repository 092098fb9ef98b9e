"""Helpers for system tests: start our executables, wait for conditions with
deadlines, collect logs and exit codes.

Every system test runs inside its own network namespace (tests/support/netns,
wired up by tests/system/CMakeLists.txt); check_isolated() refuses to run
outside one, so a test never touches the machine's real port 21584.
"""
import os
import signal
import socket
import subprocess
import tempfile
import time

BIN = os.environ.get("VELMORA_BIN", os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin"))


def binary(name):
    return os.path.join(BIN, name)


def wait_until(predicate, timeout=10.0, interval=0.01, what="condition"):
    """Polls predicate() until it returns a true value; returns that value.
    Raises AssertionError when the deadline passes."""
    deadline = time.monotonic() + timeout
    while True:
        value = predicate()
        if value:
            return value
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %.1fs waiting for %s" % (timeout, what))
        time.sleep(interval)


def check_isolated():
    """True inside a network namespace of our own: only the loopback link."""
    with open("/proc/self/net/dev") as f:
        links = [line.split(":")[0].strip() for line in f.readlines()[2:]]
    if links != ["lo"]:
        raise SystemExit("system tests must run in their own network namespace (tests/support/netns); links: %s" % links)


def port_open(port, host="127.0.0.1"):
    try:
        with socket.create_connection((host, port), timeout=0.5):
            return True
    except OSError:
        return False


class Proc:
    """One started executable with its standard output and error in files."""

    def __init__(self, name, args=(), cwd=None, env=None, stdin=subprocess.DEVNULL):
        self.workdir = tempfile.mkdtemp(prefix="velmora-")
        self.out_path = os.path.join(self.workdir, "stdout")
        self.err_path = os.path.join(self.workdir, "stderr")
        full_env = dict(os.environ)
        if env:
            full_env.update(env)
        self._out = open(self.out_path, "wb")
        self._err = open(self.err_path, "wb")
        argv0 = name if os.path.sep in name else binary(name)
        self.popen = subprocess.Popen([argv0] + list(args), cwd=cwd or self.workdir, env=full_env,
                                      stdin=stdin, stdout=self._out, stderr=self._err)
        self.pid = self.popen.pid

    def stdout(self):
        with open(self.out_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def stderr(self):
        with open(self.err_path, "rb") as f:
            return f.read().decode("utf-8", "replace")

    def wait_log(self, text, timeout=10.0, source=None):
        """Waits until `text` appears in the log (stderr, or the file `source`)."""
        def seen():
            if source is None:
                return text in self.stderr()
            try:
                with open(source, "rb") as f:
                    return text in f.read().decode("utf-8", "replace")
            except FileNotFoundError:
                return False
        return wait_until(seen, timeout, what="log text %r" % text)

    def running(self):
        return self.popen.poll() is None

    def wait_exit(self, timeout=10.0):
        """Exit code; raises AssertionError when the process outlives the deadline."""
        try:
            return self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("process %d did not exit within %.1fs" % (self.pid, timeout))

    def signal(self, sig=signal.SIGTERM):
        if self.running():
            self.popen.send_signal(sig)

    def stop(self):
        """Ends the process whatever its state (for clean-up)."""
        if self.running():
            self.popen.kill()
        self.popen.wait()
        self._out.close()
        self._err.close()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()


def run(name, args=(), timeout=10.0, env=None, cwd=None):
    """Runs an executable to its end; returns (exit code, stdout, stderr)."""
    argv0 = name if os.path.sep in name else binary(name)
    full_env = dict(os.environ)
    if env:
        full_env.update(env)
    r = subprocess.run([argv0] + list(args), capture_output=True, timeout=timeout, env=full_env, cwd=cwd,
                       stdin=subprocess.DEVNULL)
    return r.returncode, r.stdout.decode("utf-8", "replace"), r.stderr.decode("utf-8", "replace")
