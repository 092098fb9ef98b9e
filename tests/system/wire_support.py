"""Shared pieces of the wire system tests: start the wire test server and
learn its port."""
import harness


def start_server(args=()):
    proc = harness.Proc("wire_server", list(args))
    line = harness.wait_until(lambda: proc.stdout().startswith("port ") and proc.stdout().strip(),
                              what="wire_server port")
    return proc, int(line.split()[1])
