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


def read_until_close(s):
    """Everything a connected socket receives until the peer closes it."""
    chunks = []
    while True:
        try:
            chunk = s.recv(65536)
        except ConnectionResetError:
            break
        if not chunk:
            break
        chunks.append(chunk)
    return b"".join(chunks)


def exchange(port, data, timeout=10.0, shut_write=False):
    """Sends raw bytes to 127.0.0.1:port and returns everything received
    until the server closes the connection."""
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        s.sendall(data)
        if shut_write:
            s.shutdown(socket.SHUT_WR)
        return read_until_close(s)


def get(port, path, timeout=10.0):
    """A GET in our dialect (no protocol version); returns the raw response."""
    return exchange(port, ("GET %s\n\n" % path).encode(), timeout)


def body_of(response):
    return response.split(b"\r\n\r\n", 1)[1] if b"\r\n\r\n" in response else b""


def start_provider(name, args=(), env=None, port=5000, stdin=subprocess.DEVNULL):
    """Starts a provider listening on `port` and waits until it accepts."""
    p = Proc(name, ["-p", str(port)] + list(args), env=env, stdin=stdin)
    try:
        wait_until(lambda: port_open(port) or not p.running(), 10, what="port %d" % port)
        if not p.running():
            raise AssertionError("provider ended early:\n" + p.stderr())
    except Exception:
        p.stop()
        raise
    return p


def thread_count(pid):
    return len(os.listdir("/proc/%d/task" % pid))


class FakeCollector:
    """tests/fake_collector on port 21584: records each request it gets."""

    def __init__(self, status=200, reply=""):
        self.record = os.path.join(tempfile.mkdtemp(prefix="velmora-fc-"), "requests.jsonl")
        self.proc = Proc("fake_collector", [self.record, str(status), reply])
        wait_until(lambda: "ready" in self.proc.stdout(), 10, what="fake collector")

    def requests(self):
        import json
        try:
            with open(self.record) as f:
                return [json.loads(line) for line in f if line.strip()]
        except FileNotFoundError:
            return []

    def wait_requests(self, count, timeout=10.0):
        return wait_until(lambda: len(self.requests()) >= count and self.requests(), timeout,
                          what="%d requests at the fake collector" % count)

    def stop(self):
        self.proc.signal(signal.SIGTERM)
        self.proc.stop()

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.stop()
