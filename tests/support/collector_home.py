"""A collector in a folder of its own: copies of the collector and of the
providers a test registers, the registration file, and helpers to talk to
it over curl and http.client. For system tests that run a real collector."""
import http.client
import os
import signal
import re
import shutil
import subprocess
import tempfile

from harness import COLLECTOR_PORT, Proc, binary, port_open, wait_until, write_text


def request(method, path, body=None, port=COLLECTOR_PORT, timeout=30):
    """(status, body bytes) through http.client."""
    conn = http.client.HTTPConnection("127.0.0.1", port, timeout=timeout)
    try:
        conn.request(method, path, body=body)
        r = conn.getresponse()
        return r.status, r.read()
    finally:
        conn.close()


def curl(*args, timeout=60):
    """(exit code, stdout bytes) of curl -s with the arguments."""
    r = subprocess.run(["curl", "-s"] + list(args), capture_output=True, timeout=timeout)
    return r.returncode, r.stdout


def proc_table():
    """{pid: (state letter, parent id, session id, program file name)}."""
    table = {}
    for entry in filter(str.isdigit, os.listdir("/proc")):
        try:
            with open("/proc/%s/stat" % entry) as f:
                fields = f.read().rsplit(")", 1)[1].split()
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                program = os.path.basename(f.read().split(b"\0")[0].decode(errors="replace")).strip('"')
        except (OSError, IndexError):
            continue
        table[int(entry)] = (fields[0], int(fields[1]), int(fields[3]), program)
    return table


def processes(name):
    """Ids of live processes whose program file is `name` (zombies left out)."""
    return [pid for pid, (state, _, _, program) in proc_table().items() if program == name and state != "Z"]


def kill_all(name):
    """SIGKILLs every process of `name` and waits until each is reaped (by
    the collector that started it): only then are its sockets surely shut."""
    pids = processes(name)
    for pid in pids:
        os.kill(pid, signal.SIGKILL)
    for pid in pids:
        wait_until(lambda: not os.path.exists("/proc/%d" % pid), 10, what="%s %d reaped" % (name, pid))
    return pids


def cmdline(pid):
    with open("/proc/%d/cmdline" % pid, "rb") as f:
        return [w.decode() for w in f.read().split(b"\0") if w]


def sanitized(pid):
    with open("/proc/%d/maps" % pid) as f:
        text = f.read()
    return "libasan" in text or "libtsan" in text


class CollectorHome:
    """providers: [(registered name, executable to copy or None, port[,
    further attributes of its registration, e.g. 'stats="1"'])]. Given a
    test, the home is closed at its end."""

    def __init__(self, providers, env=None, extra="", test=None):
        self.home = tempfile.mkdtemp(prefix="velmora-home-")
        self.system = os.path.join(self.home, "system")
        os.makedirs(self.system)
        self.exe = os.path.join(self.home, "velmora_collector")
        shutil.copy(binary("velmora_collector"), self.exe)
        rows = []
        self.names = [p[0] for p in providers]
        for name, source, port, *attributes in providers:
            if source:
                shutil.copy(binary(source), os.path.join(self.home, name))
            rows.append('<file name="%s" port="%d"%s/>' % (name, port, "".join(" " + a for a in attributes)))
        self.write("test.velmora.provider.xml",
                   "<startup><execute><provider>%s</provider></execute></startup>" % ("".join(rows) + extra))
        self.env = dict(env or {}, VELMORA_SYSTEM_CONFIG_DIR=self.system + "/")
        self.procs = []
        if test is not None:
            test.addCleanup(self.close)

    def path(self, name):
        return os.path.join(self.home, name)

    def write(self, name, text):
        write_text(self.path(name), text)

    def start(self, args=("-V", "0xFFFF"), ready=()):
        """Starts the collector; waits until every name in `ready` shows
        state "ready" in the status list."""
        # Started by a relative name from the system folder: the collector
        # changes to its home, where that name points too high, yet its
        # statistics files land beside it (test_collector_stats).
        p = Proc("../velmora_collector", ["-p", str(COLLECTOR_PORT), "-c"] + list(args), cwd=self.system, env=self.env)
        self.procs.append(p)
        wait_until(lambda: port_open(COLLECTOR_PORT) or not p.running(), 10, what="collector port")
        assert p.running(), p.stderr()
        # "ready" can come from the provider's own status post before the
        # load thread has put its pages in the map (response "200"): a
        # request routed in between would get 404.
        for name in ready:
            wait_until(lambda: (r := self.record(name) or {}).get("state") == "ready" and r.get("response") == "200",
                       30, what="%s ready and mapped" % name)
        return p

    def inventory(self):
        return request("GET", "/inventory")[1].decode()

    def pid(self, name):
        """The one process of `name`, once the status list shows its pid."""
        pid = wait_until(lambda: processes(name), what="%s process" % name)[0]
        wait_until(lambda: (self.record(name) or {}).get("lastpid") == str(pid), what="%s pid reported" % name)
        return pid

    def record(self, name):
        """The attributes of one provider element of the status list."""
        m = re.search(r'<provider name="%s"([^>]*)>' % re.escape(name), self.inventory())
        return dict(re.findall(r'(\w+)="([^"]*)"', m.group(1))) if m else None

    def close(self):
        """Stops every started collector (judged by the harness), then ends
        the providers left (children of a stopped collector)."""
        for p in self.procs:
            # A SIGTERM begins the collector's orderly stop, which waits up to
            # about 16 s for a provider that does not answer.
            p.stop(timeout=30)
        for name in self.names:
            for pid in processes(name):
                try:
                    os.kill(pid, 9)
                except OSError:
                    pass
        for name in self.names:
            wait_until(lambda: not processes(name), 10, what="%s gone" % name)
        shutil.rmtree(self.home, ignore_errors=True)
