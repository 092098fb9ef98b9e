"""Real HTTP clients (curl, python's http.client) against a server built
from the wire pieces, and malformed input against the same server."""
import http.client
import re
import socket
import subprocess
import unittest

import harness
from wire_support import start_server


class WireServerTest(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        harness.check_isolated()
        cls.proc, cls.port = start_server(["400"])

    @classmethod
    def tearDownClass(cls):
        cls.proc.signal()
        code = cls.proc.wait_exit()
        cls.proc.stop()
        # A sanitizer report ends the server with a failing exit code.
        assert code == 0, "wire_server exit %s: %s" % (code, cls.proc.stderr()[-2000:])

    def request(self, method, target, body=None, headers=None):
        conn = http.client.HTTPConnection("127.0.0.1", self.port, timeout=10)
        conn.request(method, target, body=body, headers=headers or {})
        resp = conn.getresponse()
        data = resp.read()
        conn.close()
        return resp, data

    def curl(self, *args):
        r = subprocess.run(["curl", "-sS", "-i", "--max-time", "10"] + list(args),
                           capture_output=True, timeout=20)
        self.assertEqual(0, r.returncode, r.stderr)
        return r.stdout

    def raw(self, data, read=True):
        """Sends data and returns everything the server answered. The server
        may close (even reset) before it has read all of a bad request."""
        got = b""
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            try:
                s.sendall(data)
                s.shutdown(socket.SHUT_WR)
            except OSError:
                pass
            while read:
                try:
                    piece = s.recv(65536)
                except ConnectionResetError:
                    break
                if not piece:
                    break
                got += piece
        return got

    def test_http_client_reads_status_length_and_body(self):
        resp, data = self.request("GET", "/hello")
        self.assertEqual(200, resp.status)
        self.assertEqual("OK", resp.reason)
        self.assertEqual("12", resp.getheader("Content-Length"))
        self.assertEqual(b"hello world\n", data)
        # Only the one header: no date, server or connection header.
        self.assertEqual(["Content-Length"], [k for k, _ in resp.getheaders()])

        resp, data = self.request("GET", "/null")
        self.assertEqual(200, resp.status)
        self.assertIsNone(resp.getheader("Content-Length"))
        self.assertEqual(b"", data)  # the body ends with the close

        resp, data = self.request("GET", "/empty")
        self.assertEqual("0", resp.getheader("Content-Length"))
        self.assertEqual(b"", data)

        resp, data = self.request("GET", "/nothing-here")
        self.assertEqual(404, resp.status)
        self.assertEqual("Not Found", resp.reason)

    def test_http_client_posts_and_paths(self):
        payload = bytes(range(256)) * 40
        resp, data = self.request("POST", "/echo", body=payload)
        self.assertEqual(200, resp.status)
        self.assertEqual(payload, data)

        resp, data = self.request("POST", "/show/a%20b+c?file=a&provstatus=1%20x", body=b"",
                                  headers={"X-Mixed": "Value  "})
        verb, path, query, headers = data.decode().split("|")
        self.assertEqual("POST", verb)
        self.assertEqual("/show/a b c", path)
        self.assertEqual("file=a&provstatus=1%20x", query)
        self.assertIn("X-Mixed=Value;", headers)
        self.assertIn("Content-Length=0;", headers)

    def test_curl_reads_our_responses(self):
        out = self.curl("http://127.0.0.1:%d/hello" % self.port)
        self.assertEqual(b"HTTP/1.1 200 OK\r\nContent-Length:12\r\n\r\nhello world\n", out)
        out = self.curl("http://127.0.0.1:%d/null" % self.port)
        self.assertEqual(b"HTTP/1.1 200 OK\r\n\r\n", out)
        out = self.curl("-d", "posted body", "http://127.0.0.1:%d/echo" % self.port)
        self.assertTrue(out.endswith(b"\r\n\r\nposted body"), out)
        out = self.curl("http://127.0.0.1:%d/missing" % self.port)
        self.assertTrue(out.startswith(b"HTTP/1.1 404 Not Found\r\n"), out)

    def test_access_log_lines(self):
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            local_port = s.getsockname()[1]
            s.sendall(b"GET /show/x%41?q=1\n\n")
            got = harness.read_until_close(s)
        pattern = (r'127\.0\.0\.1:%d - - \[\d\d/[A-Z][a-z]{2}/\d{4}:\d\d:\d\d:\d\d -?\d{4}\] '
                   r'"GET /show/xA" 200 %d \[request#1\]' % (local_port, len(got)))
        harness.wait_until(lambda: re.search(pattern, self.proc.stderr()), what="access-log line")

    def test_bad_input_gets_no_answer_and_the_server_lives_on(self):
        sixteen = b"GET /hello\n" + b"".join(b"H%d: v\n" % i for i in range(16)) + b"\n"
        cases = [
            sixteen,
            b"GET /hello\nno colon\n\n",
            b"GET /hello\n continued\n\n",
            b"GET /hello\nA: " + b"v" * 1500 + b"\nB: " + b"v" * 1500 + b"\nC: " + b"v" * 1500 + b"\n\n",
            b"V" * 100 + b" /hello\n\n",
            b"GET /hello\nHost: x",            # closes inside the headers
            b"GET /hel",                        # closes mid-line
            b"GET /" + b"a" * 10300 + b"\n\n",  # the tail reads as a header without a colon
            bytes(range(256)) * 50,
        ]
        for data in cases:
            self.assertEqual(b"", self.raw(data), data[:40])
        # A client that sends nothing is cut off at the head deadline.
        with socket.create_connection(("127.0.0.1", self.port), timeout=10) as s:
            self.assertEqual(b"", s.recv(10))
        self.proc.wait_log("Request head timed out from 127.0.0.1:")
        resp, data = self.request("GET", "/hello")
        self.assertEqual(b"hello world\n", data)


if __name__ == "__main__":
    unittest.main()
