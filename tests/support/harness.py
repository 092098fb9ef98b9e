"""Helpers for system tests: start our executables, wait with deadlines,
judge how every process ended, talk our request dialect. Every system test
runs in a network namespace of its own (tests/support/netns); main() refuses
to run outside one, so a test never touches the machine's real port 21584."""
import os
import re
import shutil
import signal
import socket
import subprocess
import sys
import tempfile
import threading
import time
import unittest

BIN = os.environ.get("VELMORA_BIN", os.path.join(os.path.dirname(__file__), "..", "..", "build", "bin"))
PORT = 5000              # where tests start a provider
COLLECTOR_PORT = 21584
ALL = "0xFFFFFFFF"       # every log level
# What a sanitizer (ASan, LSan, UBSan, TSan) writes when it finds a fault.
SANITIZER_MARKS = ("Sanitizer", "runtime error:")


def binary(name):
    return name if os.path.sep in name else os.path.join(BIN, name)


def wait_until(predicate, timeout=10.0, interval=0.01, what="condition"):
    """predicate()'s first true value; AssertionError at the deadline."""
    deadline = time.monotonic() + timeout
    while not (value := predicate()):
        if time.monotonic() >= deadline:
            raise AssertionError("timed out after %.1fs waiting for %s" % (timeout, what))
        time.sleep(interval)
    return value


def sanitizer_report(text):
    """The sanitizer's part of a process's output, or ""."""
    at = min((text.find(m) for m in SANITIZER_MARKS if m in text), default=-1)
    return text[max(0, at - 300):at + 6000] if at >= 0 else ""


def read_text(path):
    try:
        with open(path, "rb") as f:
            return f.read().decode("utf-8", "replace")
    except FileNotFoundError:
        return ""


def write_text(path, text):
    with open(path, "wb" if isinstance(text, bytes) else "w") as f:
        f.write(text)


def own_copy(test, name, as_name=None, link=False):
    """A copy of (or with link, a link to) executable `name`, alone in a
    folder removed after `test`: the files a program keeps beside itself
    land there."""
    folder = tempfile.mkdtemp(prefix="velmora-own-")
    test.addCleanup(shutil.rmtree, folder, True)
    path = os.path.join(folder, as_name or name)
    (os.symlink if link else shutil.copy)(os.path.abspath(binary(name)), path)
    return path


class Proc:
    """One started executable, output in files of its own folder; every
    Proc must end through stop(), which judges it."""
    live = []

    def __init__(self, name, args=(), cwd=None, env=None, stdin=subprocess.DEVNULL):
        self.workdir = tempfile.mkdtemp(prefix="velmora-")
        self.out_path, self.err_path = os.path.join(self.workdir, "stdout"), os.path.join(self.workdir, "stderr")
        cwd = cwd or self.workdir
        # A log file given with -l is judged like standard error.
        self.log_paths = [os.path.join(cwd, a[2:]) for a in args if a.startswith("-l") and len(a) > 2]
        self._out = open(self.out_path, "wb")
        self._err = open(self.err_path, "wb")
        self.popen = subprocess.Popen([binary(name)] + list(args), cwd=cwd, env=dict(os.environ, **(env or {})),
                                      stdin=stdin, stdout=self._out, stderr=self._err)
        self.pid = self.popen.pid
        self.judged = False
        Proc.live.append(self)

    def stdout(self):
        return read_text(self.out_path)

    def stderr(self):  # standard error is the log
        return read_text(self.err_path)

    def wait_log(self, text, timeout=10.0):
        return wait_until(lambda: text in self.stderr(), timeout, what="log text %r" % text)

    def running(self):
        return self.popen.poll() is None

    def wait_exit(self, timeout=10.0):
        try:
            return self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            raise AssertionError("process %d did not exit within %.1fs; stderr ends:\n%s"
                                 % (self.pid, timeout, self.stderr()[-3000:]))

    def signal(self, sig=signal.SIGTERM):
        if self.running():
            self.popen.send_signal(sig)

    def stop(self, expect=0, kill=False, timeout=15.0):
        """Ends the process if it runs (SIGTERM, SIGKILL with kill), then
        judges it: exit code `expect` (None: any), no sanitizer report in its
        output or log file. A test that signalled the process waits for its
        exit first: a second SIGTERM ends our servers at once."""
        if self.judged:
            return
        self.judged = True
        if self.running():
            self.popen.send_signal(signal.SIGKILL if kill else signal.SIGTERM)
        try:
            code = self.popen.wait(timeout)
        except subprocess.TimeoutExpired:
            self.popen.kill()
            code = "none: still running %.0fs after SIGTERM" % timeout
        self._out.close(), self._err.close()
        name = os.path.basename(self.popen.args[0])
        for path in [self.err_path] + self.log_paths:
            if report := sanitizer_report(read_text(path)):
                raise AssertionError("%s (pid %d) reported in %s:\n%s" % (name, self.pid, path, report))
        if expect is not None and code != expect:
            raise AssertionError("%s (pid %d) exit code %s, expected %s; stderr ends:\n%s"
                                 % (name, self.pid, code, expect, self.stderr()[-3000:]))
        shutil.rmtree(self.workdir, ignore_errors=True)

    __enter__ = lambda self: self
    __exit__ = lambda self, *exc: self.stop()


def run(name, args=(), timeout=10.0, env=None, cwd=None, input=None):
    """(exit code, stdout, stderr) of a whole run; a sanitizer report fails."""
    r = subprocess.run([binary(name)] + list(args), capture_output=True, timeout=timeout, cwd=cwd, input=input,
                       env=dict(os.environ, **(env or {})), stdin=None if input is not None else subprocess.DEVNULL)
    err = r.stderr.decode("utf-8", "replace")
    if report := sanitizer_report(err):
        raise AssertionError("%s reported:\n%s" % (name, report))
    return r.returncode, r.stdout.decode("utf-8", "replace"), err


def main(isolated=True):
    """Runs the module's tests; fails when a started process was never judged."""
    if isolated:
        check_isolated()
    result = unittest.main(exit=False).result
    leftover = [p for p in Proc.live if not p.judged]
    for p in leftover:
        p.popen.kill()
        print("never stopped: %s (pid %d)" % (" ".join(p.popen.args), p.pid), file=sys.stderr)
    sys.exit(0 if result.wasSuccessful() and not leftover else 1)


def check_isolated():
    """Refuses to run outside a network namespace of our own (only "lo")."""
    with open("/proc/self/net/dev") as f:
        if [line.split(":")[0].strip() for line in f.readlines()[2:]] != ["lo"]:
            raise SystemExit("system tests must run in their own network namespace (tests/support/netns)")


def port_open(port, host="127.0.0.1"):
    try:
        with socket.create_connection((host, port), timeout=0.5):
            return True
    except OSError:
        return False


def read_until_close(s):
    """Everything a connected socket receives until the peer closes it."""
    chunks = []
    try:
        while chunk := s.recv(65536):
            chunks.append(chunk)
    except ConnectionResetError:
        pass
    return b"".join(chunks)


def exchange(port, data, timeout=10.0, shut_write=False):
    with socket.create_connection(("127.0.0.1", port), timeout=timeout) as s:
        try:
            s.sendall(data)
            if shut_write:
                s.shutdown(socket.SHUT_WR)
        except OSError:
            pass  # the server may close before it has read all of a bad request
        return read_until_close(s)


def get(port, path, timeout=10.0):
    """A GET in our dialect (no protocol version): the raw response."""
    return exchange(port, ("GET %s\n\n" % path).encode(), timeout)


def post(port, path, body=b""):
    return exchange(port, b"POST %s\nContent-Length: %d\n\n%s" % (path.encode(), len(body), body))


def body_of(response):
    return response.split(b"\r\n\r\n", 1)[1] if b"\r\n\r\n" in response else b""


def status_of(response):
    return response.split(b"\r\n", 1)[0]


def start_provider(name, args=(), env=None, port=PORT, stdin=subprocess.DEVNULL):
    p = Proc(name, ["-p", str(port)] + list(args), env=env, stdin=stdin)
    try:
        wait_until(lambda: port_open(port) or not p.running(), 10, what="port %d" % port)
        if not p.running():
            raise AssertionError("provider ended early:\n" + p.stderr())
    except Exception:
        p.stop(expect=None)
        raise
    return p


def status_field(pid, field):
    """A /proc/<pid>/status field in kB (VmHWM, VmRSS)."""
    with open("/proc/%d/status" % pid) as f:
        return int(re.search(r"^%s:\s+(\d+)" % field, f.read(), re.M).group(1))


def thread_count(pid):
    return len(os.listdir("/proc/%d/task" % pid))


class FakeCollector:
    """The collector on 127.0.0.1:21584 as a thread of the test: records
    each request (head, then the announced body) and answers `status` with
    `reply`. Written apart from our reader so a fault there hides none."""

    def __init__(self, status=200, reply=""):
        reason = {200: "OK", 400: "Bad Request", 404: "Not Found"}.get(status, "Internal Server Error")
        self.answer = b"HTTP/1.1 %d %s\r\nContent-Length:%d\r\n\r\n%s" % (status, reason.encode(), len(reply),
                                                                         reply.encode())
        self.listener = socket.create_server(("127.0.0.1", COLLECTOR_PORT))
        self.recorded = []
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        while True:
            try:
                conn, _ = self.listener.accept()
            except OSError:
                return  # stop() shut the listener down
            with conn:
                conn.settimeout(10)
                data = b""
                while b"\n\n" not in data and (piece := conn.recv(1)):
                    data += piece
                lines = (head := data.decode("latin-1")).split("\n")
                verb, _, target = lines[0].partition(" ")
                length = sum(int(l.split(":", 1)[1]) for l in lines[1:] if l.lower().startswith("content-length:"))
                body = b""
                while len(body) < length and (piece := conn.recv(length - len(body))):
                    body += piece
                path, _, query = target.partition("?")
                self.recorded.append({"raw": head, "verb": verb, "path": path, "query": query,
                                      "body": body.decode("latin-1")})
                conn.sendall(self.answer)

    def requests(self):
        return list(self.recorded)

    def wait_requests(self, count, timeout=10.0):
        return wait_until(lambda: len(self.recorded) >= count and self.requests(), timeout,
                          what="%d requests at the fake collector" % count)

    def stop(self):
        self.listener.shutdown(socket.SHUT_RDWR)
        self.listener.close()
        self.thread.join(15)

    __enter__ = lambda self: self
    __exit__ = lambda self, *exc: self.stop()
