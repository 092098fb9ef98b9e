"""50 MB through our sockets while signals keep arriving at the process that
writes or reads: every byte must arrive, in order (CRC-32 compared)."""
import http.client
import os
import signal
import threading
import time
import unittest
import zlib

import harness
from wire_support import start_server

FIFTY_MB = 50 * 1024 * 1024


def catches_sighup(pid):
    """True once the process has a handler for SIGHUP (bit 0 of SigCgt)."""
    try:
        with open("/proc/%d/status" % pid) as f:
            for line in f:
                if line.startswith("SigCgt:"):
                    return int(line.split()[1], 16) & 1
    except OSError:
        pass
    return False


class Hangups:
    """Sends SIGHUP to a process every millisecond until stopped."""

    def __init__(self, pid):
        self.pid = pid
        self.sent = 0
        self.stop = threading.Event()
        self.thread = threading.Thread(target=self.run, daemon=True)

    def run(self):
        while not self.stop.is_set():
            try:
                os.kill(self.pid, signal.SIGHUP)
            except ProcessLookupError:
                return
            self.sent += 1
            time.sleep(0.001)

    def __enter__(self):
        self.thread.start()
        return self

    def __exit__(self, *exc):
        self.stop.set()
        self.thread.join()


class WireSignalsTest(unittest.TestCase):
    def setUp(self):
        harness.check_isolated()
        self.proc, self.port = start_server()
        harness.wait_until(lambda: catches_sighup(self.proc.pid), what="server's SIGHUP handler")

    def tearDown(self):
        self.proc.signal()
        code = self.proc.wait_exit()
        self.proc.stop()
        self.assertEqual(0, code, self.proc.stderr()[-2000:])

    def test_server_streams_50_mb_under_signals(self):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        conn.request("GET", "/stream?bytes=%d" % FIFTY_MB)
        resp = conn.getresponse()
        self.assertEqual(200, resp.status)
        self.assertEqual(str(FIFTY_MB), resp.getheader("Content-Length"))
        crc, total = 0, 0
        with Hangups(self.proc.pid) as hangups:
            while True:
                # Small reads keep the server's socket buffer full, so its
                # sends block and get interrupted.
                piece = resp.read(16384)
                if not piece:
                    break
                crc = zlib.crc32(piece, crc)
                total += len(piece)
        conn.close()
        self.assertGreater(hangups.sent, 10)
        self.assertEqual(FIFTY_MB, total)
        self.assertEqual(resp.getheader("X-Crc32"), "%08x" % crc)

    def test_server_reads_50_mb_body_under_signals(self):
        body = os.urandom(FIFTY_MB)
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=60)
        with Hangups(self.proc.pid) as hangups:
            conn.request("POST", "/crc", body=body)
            resp = conn.getresponse()
            answer = resp.read().decode()
        conn.close()
        self.assertGreater(hangups.sent, 10)
        self.assertEqual("%d %08x" % (FIFTY_MB, zlib.crc32(body)), answer)

    def test_document_client_reads_50_mb_under_signals(self):
        client = harness.Proc("wire_client", [str(self.port), "/stream?bytes=%d" % FIFTY_MB,
                                              "--header", "X-Crc32", "--timeout", "30"])
        try:
            harness.wait_until(lambda: not client.running() or catches_sighup(client.pid),
                               what="client's SIGHUP handler")
            with Hangups(client.pid):
                code = client.wait_exit(120)
        finally:
            client.stop()
        self.assertEqual(0, code, client.stderr())
        lines = dict(line.split(" ", 1) for line in client.stdout().splitlines())
        self.assertEqual("200", lines["status"])
        self.assertEqual(str(FIFTY_MB), lines["length"])
        self.assertEqual(lines["header"], lines["crc"])


if __name__ == "__main__":
    unittest.main()
