#!/usr/bin/python3
"""End-to-end tests of corvane-rest against the sample service, nginx and a
capturing loopback server.

    cli_test.py CLI SERVER_SCRIPT
"""
import http.server
import json
import os
import re
import resource
import subprocess
import sys
import tempfile
import threading
import unittest
import urllib.request

CLI = BASE = None


def run(*args, stdin=None, env=None):
    p = subprocess.run([CLI, *args], capture_output=True, timeout=60, input=stdin, env=env)
    return p.returncode, p.stdout, p.stderr.decode("utf-8", "replace")


def events(stdout):
    return [json.loads(line) for line in stdout.decode().splitlines() if line.startswith("{")]


def transferred(evs, direction):
    """The bytes of the Transfer events one way (event strings carry a byte per code point)."""
    return b"".join(bytes(ord(c) for c in e["Text"]) for e in evs
                    if e["event"] == "Transfer" and e["Direction"] == direction)


def server_env(*names):
    """The test servers' settings, or a skip (a failure under CORVANE_REQUIRE_SERVERS)."""
    missing = [n for n in names if not os.environ.get(n)]
    if missing and os.environ.get("CORVANE_REQUIRE_SERVERS") == "1":
        raise AssertionError("test servers not running: " + ", ".join(missing))
    if missing:
        raise unittest.SkipTest("test servers not running (tests/servers/up)")
    return [os.environ[n] for n in names]


class CliTest(unittest.TestCase):
    def check_cases(self, cases, env=None):
        """Each case: (args, exit code, stdout, stderr lines); stdout is bytes,
        text, or a predicate; stderr is a predicate, or its lines given by their
        starts."""
        for args, code, stdout, stderr in cases:
            with self.subTest(args=args):
                rc, out, err = run(*args, env=env)
                self.assertEqual(rc, code, err)
                if callable(stdout):
                    self.assertTrue(stdout(out), out[:300])
                else:
                    self.assertEqual(out, stdout if isinstance(stdout, bytes) else stdout.encode())
                if callable(stderr):
                    self.assertTrue(stderr(err), err)
                else:
                    lines = err.splitlines()
                    self.assertEqual(len(lines), len(stderr), err)
                    for line, start in zip(lines, stderr):
                        self.assertTrue(line.startswith(start), (line, start))


class SampleServiceTest(CliTest):
    def test_answers_print_in_command_line_order_and_failures_exit_one(self):
        refused = "http://127.0.0.1:1/x.json"  # nothing listens on port 1
        with urllib.request.urlopen(BASE + "/books.xml") as r:
            body = r.read()
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "out.xml")
            self.check_cases([
                ([BASE + "/books.xml", "-g", "StatusLine", "-x", "/catalogue/[2]/cat:title",
                  "-g", "XElement", "-x", "..", "-g", "AttrValue[0]"], 0,
                 "StatusLine=HTTP/1.1 200 OK\nParsing by Hand\nXElement=cat:title\n\nAttrValue[0]=2\n", []),
                ([BASE + "/books.xml"], 0, body, []),
                (["-o", path, BASE + "/books.xml"], 0, b"", []),
                (["-o", "-", "-g", "StatusLine", BASE + "/books.xml"], 0,
                 body + b"StatusLine=HTTP/1.1 200 OK\n", []),
                (["-X", "PUT", "-s", "ContentType=application/json", "-d", '{"title":"T"}',
                  BASE + "/books/9.json", "-x", "/json/title"], 0, '"T"\n', []),
                (["-X", "DELETE", BASE + "/books/9.json", "-g", "StatusLine"], 0,
                 "StatusLine=HTTP/1.1 204 No Content\n", []),
                # A refused index keeps the engine's own code and message.
                ([BASE + "/login", "-g", "CookieCount", "-g", "CookieName[0]", "-g", "CookieValue[0]",
                  "-g", "CookieName[1]"], 1, "CookieCount=1\nCookieName[0]=session\nCookieValue[0]=s3cr3t==\n",
                 ["error 156: Invalid cookie index (out of range)."]),
                # Sets apply before the request, queries answer after it, in order.
                (["-c", "KeepAlive", "-c", "KeepAlive=true", "-c", "KeepAlive", "-c", "Loglevel"], 0,
                 "KeepAlive=True\nKeepAlive=True\nLoglevel=1\n", []),
                (["-c", "NoSuchKey"], 1, "", ["error -1: Unknown config setting."]),
                (["-vv", BASE + "/books/2.json", "-x", "/json/id"], 0, "2\n", lambda e: "ResponseHeaders" in e),
                # The request's error comes first; the steps after it still run on
                # whatever came back.
                ([refused, "-g", "StatusLine"], 1, "StatusLine=\n", ["error 10061: [10061] Connection refused"]),
                ([BASE + "/missing.xml", "-x", "/problem/reason", "-x", "/nothing"], 1, "not here\n",
                 ["error 151: HTTP protocol error. 404 Not Found.", "error 209"]),
            ])
            with open(path, "rb") as f:
                self.assertEqual(f.read(), body)

    def test_usage_errors_exit_two(self):
        for args in ([], ["-s", "Timeout=5"], ["-X", "GE T", BASE], ["--bogus"], ["-s", "NoEquals"],
                     ["-s", "NoSuch=1"], ["-s", "XText=1"], ["-s", "FollowRedirects=sometimes"],
                     ["a", "b"], ["-c"], ["-m", "2147484", BASE], ["--max-time", "soon", BASE],
                     ["--proxy", "ftp://127.0.0.1:1", BASE]):
            rc, _, err = run(*args)
            self.assertEqual(rc, 2, (args, err))
            self.assertIn("usage:", err)

    def test_events_come_in_order_and_carry_both_bodies(self):
        rc, out, _ = run("--events", BASE + "/books/1.json")
        self.assertEqual(rc, 0)
        ev = events(out)
        names = [e["event"] for e in ev]
        status = ev[names.index("Status")]
        self.assertEqual((status["HTTPVersion"], status["StatusCode"], status["Description"]),
                         ("HTTP/1.1", 200, "OK"))
        order = [names.index(n) for n in ("Connected", "Status", "Header", "StartTransfer",
                                          "EndTransfer", "StartElement")]
        self.assertEqual(order, sorted(order))
        self.assertEqual(ev[names.index("StartElement")]["Element"], "json")
        with urllib.request.urlopen(BASE + "/books/1.json") as r:
            self.assertEqual(transferred(ev, 1), r.read())

        data = bytes(range(256)) * 3
        with tempfile.NamedTemporaryFile() as f:
            f.write(data)
            f.flush()
            rc, out, err = run("--events", "-H", "Content-Type: application/octet-stream", "-d", "@" + f.name,
                               BASE + "/echo")
        self.assertEqual(rc, 0, err)
        ev = events(out)
        self.assertEqual((transferred(ev, 0), transferred(ev, 1)), (data, data))
        self.assertEqual([e["Direction"] for e in ev if e["event"] == "StartTransfer"], [0, 1])


class Capture(http.server.BaseHTTPRequestHandler):
    """Answers every request with 200 and the server's body, keeping each
    request's method, Content-Type lines and body."""
    protocol_version = "HTTP/1.1"

    def handle_any(self):
        body = self.rfile.read(int(self.headers.get("Content-Length") or 0))
        self.server.requests.append((self.command, ["%s: %s" % h for h in self.headers.items()
                                                    if h[0].lower() == "content-type"], body))
        self.send_response_only(200)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(self.server.body)))
        self.send_header("Connection", "close")
        self.end_headers()
        self.wfile.write(self.server.body)

    do_GET = do_POST = do_PUT = do_PATCH = do_OPTIONS = handle_any


class WireTest(unittest.TestCase):
    def setUp(self):
        self.server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Capture)
        self.server.body, self.server.requests = b"{}", []
        self.url = "http://127.0.0.1:%d/x" % self.server.server_address[1]
        threading.Thread(target=self.server.serve_forever, daemon=True).start()
        self.addCleanup(self.server.server_close)
        self.addCleanup(self.server.shutdown)

    def test_method_header_and_body_options(self):
        cases = [
            # (args, stdin, request method, Content-Type lines, body)
            (["-H", "content-type:text/plain", "-X", "PUT", "-d", "x"], None,
             "PUT", ["Content-Type: text/plain"], b"x"),
            (["-X", "PATCH", "-d", "p"], None, "PATCH", ["Content-Type: text/xml"], b"p"),
            (["-X", "GET", "-d", "kept"], None, "GET", ["Content-Type: text/xml"], b"kept"),
            (["-X", "OPTIONS"], None, "OPTIONS", [], b""),
            (["-d", "@-"], b"from\x00stdin", "POST", ["Content-Type: text/xml"], b"from\x00stdin"),
        ]
        for args, stdin, method, content_types, body in cases:
            with self.subTest(args=args):
                self.server.requests.clear()
                rc, _, err = run(*args, self.url, stdin=stdin)
                self.assertEqual(rc, 0, err)
                self.assertEqual(self.server.requests, [(method, content_types, body)])

    def test_body_to_stdout_without_events_is_not_formatted(self):
        # Escaping a body of high bytes for events nobody prints costs six
        # times its size; without --events the body is held about twice.
        size = 24 << 20
        self.server.body = bytes(range(128, 256)) * (size // 128)
        # In a sanitized build the quarantine would hold freed blocks on top.
        env = dict(os.environ, ASAN_OPTIONS=os.environ.get("ASAN_OPTIONS", "") + ":quarantine_size_mb=0")
        p = subprocess.run([CLI, self.url], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE, timeout=60, env=env)
        self.assertEqual(p.returncode, 0, p.stderr)
        self.assertLess(resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024, 4 * size)


class PeerTest(CliTest):
    """The options users of command-line HTTP clients reach for first, against
    nginx, the proxy and nginx with TLS (trusting only what the command line
    names: the system store knows nothing of the test CA)."""

    def test_options(self):
        port, root, user, password = server_env("CORVANE_NGINX_PORT", "CORVANE_NGINX_ROOT",
                                                "CORVANE_NGINX_USER", "CORVANE_NGINX_PASSWORD")
        base = "http://127.0.0.1:" + port
        with open(os.path.join(root, "data.json"), "rb") as f:
            data = f.read()
        head = b"HTTP/1.1 200 OK\r\n"
        self.check_cases([
            (["--location", base + "/r302"], 0, data, []),
            (["-L", base + "/chain1", "-g", "StatusLine"], 0, "StatusLine=HTTP/1.1 200 OK\n", []),
            (["--user", user + ":" + password, base + "/basic/data.json", "-x", "/json/secret"], 0,
             '"kept"\n', []),
            (["-u", user + ":wrong", base + "/basic/data.json"], 1, lambda o: True,
             ["error 151: HTTP protocol error. 401"]),
            # A HEAD answer to a JSON resource has no body and no document.
            (["--head", base + "/data.json"], 0,
             lambda o: o.startswith(head) and b"\r\nContent-Type: application/json\r\n" in o
             and o.endswith(b"\r\n\r\n") and data not in o, []),
            (["--compressed", "--include", base + "/data.json"], 0,
             lambda o: o.startswith(head) and b"\r\nContent-Encoding: gzip\r\n" in o
             and o.endswith(b"\r\n\r\n" + data), []),
            (["-i", base + "/data.json"], 0, lambda o: b"Content-Encoding" not in o, []),
            # The rate-limited file takes seconds; the limit ends it first.
            (["--max-time", "0.3", base + "/slow/data.txt"], 1, lambda o: True, ["error 301"]),
            (["-m", "2.5", "--connect-timeout", "1.5", base + "/data.json", "-g", "Timeout",
              "-c", "ConnectionTimeout"], 0, "Timeout=2500\nConnectionTimeout=1500\n", []),
            # Timeout keeps its 60 s in the new unit, past a 16-bit number.
            (["--connect-timeout", "2", base + "/data.json", "-g", "Timeout"], 0, "Timeout=60000\n", []),
            (["127.0.0.1:%s/data.json" % port, "-g", "URL"], 0,
             "URL=http://127.0.0.1:%s/data.json\n" % port, []),
            (["--version"], 0,
             lambda o: re.fullmatch(rb"corvane-rest \d+\.\d+\.\d+ \(libcorvane \d+\.\d+\.\d+\)\n", o), []),
        ])

    def test_proxy_url_carries_the_proxy_credentials(self):
        nginx, port, user, password = server_env("CORVANE_NGINX_PORT", "CORVANE_PROXY_PORT",
                                                 "CORVANE_PROXY_USER", "CORVANE_PROXY_PASSWORD")
        url = "http://127.0.0.1:%s/data.json" % nginx
        self.check_cases([
            (["--proxy", "http://%s:%s@127.0.0.1:%s" % (user, password, port), url, "-g", "StatusLine",
              "-g", "ProxyServer"], 0, "StatusLine=HTTP/1.1 200 OK\nProxyServer=127.0.0.1\n", []),
            (["--proxy", "127.0.0.1:" + port, url], 1, lambda o: True,
             ["error 151: Proxy error: HTTP protocol error. 407"]),
        ])

    def test_trust_options(self):
        ca, port, h2 = server_env("CORVANE_TLS_CA_FILE", "CORVANE_TLS_VALID_PORT", "CORVANE_TLS_H2_PORT")
        url = "https://localhost:%s/text.txt" % port
        env = {k: v for k, v in os.environ.items() if not k.startswith("SSL_CERT_")}
        ok = "StatusLine=HTTP/1.1 200 OK\n"
        with tempfile.TemporaryDirectory() as capath:
            subprocess.run(["cp", ca, capath], check=True)
            subprocess.run(["openssl", "rehash", capath], check=True, capture_output=True)
            self.check_cases([
                (["--cacert", ca, url, "-g", "StatusLine"], 0, ok, []),
                (["--capath", capath, url, "-g", "StatusLine"], 0, ok, []),
                (["--cacert", ca, "--http2", "https://localhost:%s/text.txt" % h2, "-g", "StatusLine"], 0,
                 "StatusLine=HTTP/2.0 200 OK\n", []),
                # Without a trusted CA the second line says why the certificate was refused.
                ([url, "-g", "StatusLine"], 1, "StatusLine=\n",
                 ["error 276: Server certificate verification failed",
                  "  certificate: [0x800b010a] A chain of certificates was not correctly created.; "
                  "subject CN=localhost, O=Example, C=US"]),
                (["--cacert", "/nonexistent/ca.pem", url], 1, "",
                 ["error 280: Can't load trusted CA certificates from /nonexistent/ca.pem."]),
            ], env=env)


def main():
    global CLI, BASE
    CLI, script = sys.argv[1], sys.argv[2]
    # The service prints "listening on PORT" once it listens.
    server = subprocess.Popen(["/usr/bin/python3", script], stdout=subprocess.PIPE, stderr=subprocess.DEVNULL)
    try:
        BASE = "http://127.0.0.1:" + server.stdout.readline().split()[-1].decode()
        prog = unittest.main(argv=[sys.argv[0], "-v", *sys.argv[3:]], exit=False)
    finally:
        server.terminate()
        server.wait()
    sys.exit(0 if prog.result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
