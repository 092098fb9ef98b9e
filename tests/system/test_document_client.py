"""The document client (through wire_client) against a raw-socket python
server that answers exactly what each test scripts. Our request line carries
no protocol version, so stock HTTP servers would treat it as HTTP/0.9; the
scripted server takes it as it comes."""
import os
import socket
import tempfile
import threading
import unittest

import harness


class ScriptedServer:
    """Accepts one connection, reads the request head (up to the empty line)
    and the announced body, then sends `reply` and closes."""

    def __init__(self, reply):
        self.reply = reply
        self.received = b""
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.port = self.sock.getsockname()[1]
        self.thread = threading.Thread(target=self.serve, daemon=True)
        self.thread.start()

    def serve(self):
        conn, _ = self.sock.accept()
        with conn:
            conn.settimeout(10)
            while b"\n\n" not in self.received:
                piece = conn.recv(1)
                if not piece:
                    break
                self.received += piece
            head = self.received.decode("latin-1")
            length = 0
            for line in head.split("\n"):
                if line.lower().startswith("content-length:"):
                    length = int(line.split(":", 1)[1])
            while len(self.received) - len(head) < length:
                piece = conn.recv(65536)
                if not piece:
                    break
                self.received += piece
            conn.sendall(self.reply)

    def close(self):
        self.thread.join(10)
        self.sock.close()


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class DocumentClientTest(unittest.TestCase):
    def setUp(self):
        harness.check_isolated()
        self.tmp = tempfile.mkdtemp(prefix="wire-client-")

    def client(self, port, uri, *args):
        code, out, err = harness.run("wire_client", [str(port), uri] + list(args), timeout=30)
        self.assertEqual(0, code, err)
        result = dict(line.split(" ", 1) for line in out.splitlines())
        result["stderr"] = err
        return result

    def scripted(self, reply, uri, *args):
        server = ScriptedServer(reply)
        try:
            result = self.client(server.port, uri, *args)
        finally:
            server.close()
        return result, server.received

    def test_get_sends_the_exact_head_and_buffers_the_body(self):
        out = os.path.join(self.tmp, "body")
        result, received = self.scripted(b"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", "/x", "--out", out)
        self.assertEqual(b"GET /x\nContent-Length: 0\n\n", received)
        self.assertEqual("200", result["status"])
        with open(out, "rb") as f:
            self.assertEqual(b"hello", f.read())

    def test_post_body_and_lower_case_length(self):
        out = os.path.join(self.tmp, "body")
        result, received = self.scripted(b"HTTP/1.1 200 OK\r\ncontent-length: 3\r\n\r\nabcdef", "/inventory?a=1",
                                         "--post", "<x/>", "--out", out)
        self.assertEqual(b"POST /inventory?a=1\nContent-Length: 4\n\n<x/>", received)
        self.assertEqual("3", result["length"])
        with open(out, "rb") as f:
            self.assertEqual(b"abc", f.read())

    def test_streamed_read_passes_status_length_and_body(self):
        body = os.urandom(300000)
        out = os.path.join(self.tmp, "stream")
        result, _ = self.scripted(b"HTTP/1.1 200 OK\r\nContent-Length: 300000\r\nX-Not: passed\r\n\r\n" + body,
                                  "/big", "--stream", out)
        self.assertEqual("200", result["status"])
        with open(out, "rb") as f:
            self.assertEqual(b"HTTP/1.1 200 OK\r\nContent-Length:300000\r\n\r\n" + body, f.read())

    def test_not_found_without_body_and_silent_close(self):
        result, _ = self.scripted(b"HTTP/1.1 404 Not Found\r\n\r\n", "/missing")
        self.assertEqual("404", result["status"])
        self.assertEqual("0", result["length"])
        result, _ = self.scripted(b"", "/nobody-serves-this")
        self.assertEqual("500", result["status"])

    def test_no_server_two_quick_attempts(self):
        port = free_port()
        result = self.client(port, "/x", "--verbose")
        self.assertEqual("0", result["status"])
        self.assertEqual(2, result["stderr"].count("Call ::connect"))
        self.assertIn("Unable to connect wire_client_target:%d try 0" % port, result["stderr"])
        self.assertIn("requestDocument fails to connect", result["stderr"])
        # A refused connect is known at once: no 200 ms waits, one 10 ms pause.
        self.assertLess(int(result["elapsed_ms"]), 180)

        # Allowed to start the provider, but nothing installed to do it: four
        # attempts, still quick.
        result = self.client(port, "/x", "--verbose", "--start")
        self.assertEqual("0", result["status"])
        self.assertEqual(4, result["stderr"].count("Call ::connect"))
        self.assertLess(int(result["elapsed_ms"]), 180)


if __name__ == "__main__":
    unittest.main()
