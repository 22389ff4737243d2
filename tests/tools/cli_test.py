#!/usr/bin/python3
"""End-to-end tests of corvane-rest against the sample service.

    cli_test.py CLI SERVER_SCRIPT
"""
import json
import os
import re
import subprocess
import sys
import tempfile
import time
import unittest
import urllib.request

CLI = None
SERVER = None
BASE = None


def run(*args, stdin=None):
    p = subprocess.run([CLI, *args], capture_output=True, timeout=60, input=stdin)
    return p.returncode, p.stdout, p.stderr.decode("utf-8", "replace")


def events(stdout):
    return [json.loads(line) for line in stdout.decode().splitlines() if line.startswith("{")]


def unbytes(text):
    """Event strings carry bytes as code points 0-255."""
    return bytes(ord(c) for c in text)


class CliTest(unittest.TestCase):
    def test_xpath_and_properties_print_in_command_line_order(self):
        rc, out, err = run(BASE + "/books.xml", "-g", "StatusLine", "-x", "/catalogue/[2]/cat:title",
                           "-g", "XElement", "-x", "..", "-g", "AttrValue[0]")
        self.assertEqual(rc, 0, err)
        self.assertEqual(out.decode().splitlines(), [
            "StatusLine=HTTP/1.1 200 OK", "Parsing by Hand", "XElement=cat:title", "", "AttrValue[0]=2"])

    def test_body_goes_to_stdout_when_nothing_else_is_asked(self):
        rc, out, _ = run(BASE + "/books.json")
        self.assertEqual(rc, 0)
        with urllib.request.urlopen(BASE + "/books.json") as r:
            self.assertEqual(out, r.read())

    def test_get_events_come_in_order_and_carry_the_body(self):
        rc, out, _ = run("--events", BASE + "/books/1.json")
        self.assertEqual(rc, 0)
        ev = events(out)
        names = [e["event"] for e in ev]
        self.assertEqual(names[names.index("Connected")], "Connected")
        status = next(e for e in ev if e["event"] == "Status")
        self.assertEqual((status["HTTPVersion"], status["StatusCode"], status["Description"]),
                         ("HTTP/1.1", 200, "OK"))
        self.assertLess(names.index("Connected"), names.index("Status"))
        self.assertLess(names.index("Status"), names.index("Header"))
        self.assertLess(names.index("Header"), names.index("StartTransfer"))
        body = b"".join(unbytes(e["Text"]) for e in ev if e["event"] == "Transfer" and e["Direction"] == 1)
        with urllib.request.urlopen(BASE + "/books/1.json") as r:
            self.assertEqual(body, r.read())
        self.assertLess(names.index("EndTransfer"), names.index("StartElement"))
        first = next(e for e in ev if e["event"] == "StartElement")
        self.assertEqual(first["Element"], "json")

    def test_post_events_show_the_upload_and_binary_bodies_round_trip(self):
        data = bytes(range(256)) * 3
        with tempfile.NamedTemporaryFile(delete=False) as f:
            f.write(data)
        try:
            rc, out, err = run("--events", "-H", "Content-Type: application/octet-stream",
                               "-d", "@" + f.name, BASE + "/echo")
        finally:
            os.unlink(f.name)
        self.assertEqual(rc, 0, err)
        ev = events(out)
        sent = b"".join(unbytes(e["Text"]) for e in ev if e["event"] == "Transfer" and e["Direction"] == 0)
        got = b"".join(unbytes(e["Text"]) for e in ev if e["event"] == "Transfer" and e["Direction"] == 1)
        self.assertEqual(sent, data)
        self.assertEqual(got, data)
        starts = [e["Direction"] for e in ev if e["event"] == "StartTransfer"]
        self.assertEqual(starts, [0, 1])

    def test_post_text_is_parsed_as_json_when_echoed(self):
        rc, out, err = run("-H", "Content-Type: application/json", "-d", '{"n":[1,2,3]}',
                           BASE + "/echo", "-x", "/json/n/[2]")
        self.assertEqual(rc, 0, err)
        self.assertEqual(out.decode(), "2\n")

    def test_put_and_delete(self):
        rc, out, err = run("-X", "PUT", "-s", "ContentType=application/json", "-d", '{"title":"T"}',
                           BASE + "/books/9.json", "-x", "/json/title")
        self.assertEqual((rc, out.decode()), (0, '"T"\n'), err)
        rc, out, err = run("-X", "DELETE", BASE + "/books/9.json", "-g", "StatusLine")
        self.assertEqual((rc, out.decode()), (0, "StatusLine=HTTP/1.1 204 No Content\n"), err)

    def test_http_error_exits_one_with_code_and_message(self):
        rc, out, err = run(BASE + "/missing.xml", "-x", "/problem/reason")
        self.assertEqual(rc, 1)
        self.assertEqual(out.decode(), "not here\n")
        self.assertRegex(err, r"^error 151: .*404")

    def test_error_path_gives_minus_one(self):
        rc, _, err = run("-s", "XErrorPath=/reply/error", BASE + "/fault.xml")
        self.assertEqual(rc, 1)
        self.assertEqual(err.strip(), "error -1: quota exceeded")

    def test_redirects_follow_with_enumerator_name(self):
        rc, out, err = run("-s", "FollowRedirects=frAlways", BASE + "/old-books", "-g", "URL")
        self.assertEqual(rc, 0, err)
        # URL is the URL as last given: here the redirect's relative Location.
        self.assertEqual(out.decode(), "URL=/books.json\n")
        rc, _, err = run(BASE + "/old-books")
        self.assertEqual(rc, 1)
        self.assertIn("error 151", err)

    def test_cookies_are_readable_by_index(self):
        rc, out, err = run(BASE + "/login", "-g", "CookieCount", "-g", "CookieName[0]",
                           "-g", "CookieValue[0]", "-g", "CookieName[1]")
        self.assertEqual(rc, 1)
        self.assertEqual(out.decode().splitlines(),
                         ["CookieCount=1", "CookieName[0]=session", "CookieValue[0]=s3cr3t=="])
        self.assertEqual(err.strip(), "error 156: Invalid cookie index (out of range).")

    def test_output_file_receives_the_body(self):
        with tempfile.TemporaryDirectory() as d:
            path = os.path.join(d, "out.xml")
            rc, out, err = run("-o", path, BASE + "/books.xml")
            self.assertEqual((rc, out), (0, b""), err)
            with open(path, "rb") as f, urllib.request.urlopen(BASE + "/books.xml") as r:
                self.assertEqual(f.read(), r.read())

    def test_config_queries_work_without_a_url(self):
        rc, out, err = run("-c", "KeepAlive", "-c", "KeepAlive=true", "-c", "KeepAlive", "-c", "Loglevel")
        self.assertEqual(rc, 0, err)
        # Sets apply before the request; queries answer after it, in order.
        self.assertEqual(out.decode().splitlines(), ["KeepAlive=True", "KeepAlive=True", "Loglevel=1"])
        rc, _, err = run("-c", "NoSuchKey")
        self.assertEqual((rc, err.strip()), (1, "error -1: Unknown config setting."))

    def test_verbose_logs_go_to_stderr(self):
        rc, out, err = run("-vv", BASE + "/books/2.json", "-x", "/json/id")
        self.assertEqual(rc, 0)
        self.assertEqual(out.decode(), "2\n")
        self.assertIn("ResponseHeaders", err)

    def test_usage_errors_exit_two(self):
        for args in ([], ["-s", "Timeout=5"], ["-X", "GE T", BASE], ["--bogus"], ["-s", "NoEquals"], ["-s", "NoSuch=1"],
                     ["-s", "XText=1"], ["-s", "FollowRedirects=sometimes"], ["a", "b"], ["-c"],
                     ["-m", "2147484", BASE]):
            rc, _, err = run(*args)
            self.assertEqual(rc, 2, (args, err))
            self.assertIn("usage:", err)

    def test_connection_refused_reports_the_socket_error(self):
        import socket
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        port = s.getsockname()[1]
        s.close()
        rc, _, err = run("http://127.0.0.1:%d/" % port)
        self.assertEqual(rc, 1)
        self.assertIn("error 10061: [10061] Connection refused", err)


class CapturingServer:
    """Answers every request with 200 and an empty JSON object, keeping the
    raw request bytes (head and body) for the test to inspect."""

    def __init__(self, body=b"{}", content_type=b"application/json"):
        import socket
        import threading
        self.body, self.content_type = body, content_type
        self.requests = []
        self.sock = socket.socket()
        self.sock.bind(("127.0.0.1", 0))
        self.sock.listen(4)
        self.url = "http://127.0.0.1:%d/x" % self.sock.getsockname()[1]
        threading.Thread(target=self.serve, daemon=True).start()

    def serve(self):
        while True:
            try:
                conn, _ = self.sock.accept()
            except OSError:
                return
            with conn:
                data = b""
                while b"\r\n\r\n" not in data:
                    chunk = conn.recv(65536)
                    if not chunk:
                        break
                    data += chunk
                head, _, body = data.partition(b"\r\n\r\n")
                length = 0
                for line in head.split(b"\r\n")[1:]:
                    name, _, value = line.partition(b":")
                    if name.strip().lower() == b"content-length":
                        length = int(value)
                while len(body) < length:
                    chunk = conn.recv(65536)
                    if not chunk:
                        break
                    body += chunk
                self.requests.append((head.decode("latin-1"), body))
                conn.sendall(b"HTTP/1.1 200 OK\r\nContent-Type: %s\r\nContent-Length: %d\r\n"
                             b"Connection: close\r\n\r\n" % (self.content_type, len(self.body)))
                conn.sendall(self.body)

    def close(self):
        self.sock.close()


class CliRequestTest(unittest.TestCase):
    """What goes on the wire for the request options."""

    def setUp(self):
        self.server = CapturingServer()

    def tearDown(self):
        self.server.close()

    def request(self, *args, stdin=None):
        rc, out, err = run(*args, self.server.url, stdin=stdin)
        self.assertEqual(rc, 0, err)
        self.assertEqual(len(self.server.requests), 1)
        head, body = self.server.requests[0]
        lines = head.split("\r\n")
        return lines[0], [l for l in lines[1:] if l], body

    def test_method_header_and_body_options(self):
        cases = [
            # (args, stdin, request line method, Content-Type lines, body)
            (["-H", "Content-Type: application/json", "-d", '{"a":1}'], None,
             "POST", ["Content-Type: application/json"], b'{"a":1}'),
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
                line, headers, got = self.request(*args, stdin=stdin)
                self.assertEqual(line.split(" ")[0], method)
                self.assertEqual([h for h in headers if h.lower().startswith("content-type:")],
                                 content_types)
                self.assertEqual(got, body)

    def test_output_dash_writes_the_body_to_stdout(self):
        rc, out, err = run("-o", "-", "-g", "StatusLine", self.server.url)
        self.assertEqual(rc, 0, err)
        self.assertEqual(out, b"{}StatusLine=HTTP/1.1 200 OK\n")


class CliMemoryTest(unittest.TestCase):
    def test_body_to_stdout_without_events_is_not_formatted(self):
        # Escaping a body of high bytes for events nobody prints costs six
        # times its size; without --events the body is held about twice.
        import resource
        size = 24 << 20
        server = CapturingServer(bytes(range(128, 256)) * (size // 128), b"text/plain")
        try:
            p = subprocess.run([CLI, server.url], stdout=subprocess.DEVNULL, stderr=subprocess.PIPE,
                               timeout=60)
        finally:
            server.close()
        self.assertEqual(p.returncode, 0, p.stderr)
        peak = resource.getrusage(resource.RUSAGE_CHILDREN).ru_maxrss * 1024
        self.assertLess(peak, 4 * size)


class CliFailureTest(unittest.TestCase):
    def test_request_error_comes_first_and_later_steps_follow_it(self):
        import socket
        s = socket.socket()
        s.bind(("127.0.0.1", 0))
        refused = "http://127.0.0.1:%d/x.json" % s.getsockname()[1]
        s.close()
        cases = [
            # (args, stdout, stderr lines)
            ([refused, "-x", "/json/a"], "", ["error 10061: [10061] Connection refused"]),
            ([refused, "-g", "StatusLine"], "StatusLine=\n", ["error 10061: [10061] Connection refused"]),
            ([BASE + "/missing.xml", "-x", "/problem/reason", "-x", "/nothing"], "not here\n",
             ["error 151: HTTP protocol error. 404 Not Found.", "error 209"]),
        ]
        for args, stdout, stderr in cases:
            with self.subTest(args=args):
                rc, out, err = run(*args)
                self.assertEqual(rc, 1)
                self.assertEqual(out.decode(), stdout)
                lines = err.splitlines()
                self.assertEqual(len(lines), len(stderr), err)
                for line, start in zip(lines, stderr):
                    self.assertTrue(line.startswith(start), (line, start))

    def test_head_request_ends_without_a_body(self):
        rc, out, err = run("-X", "HEAD", BASE + "/books.xml", "-g", "StatusLine")
        self.assertEqual((rc, out.decode()), (0, "StatusLine=HTTP/1.1 200 OK\n"), err)


def server_env(*names):
    """The test servers' settings, or a skip (a failure under CORVANE_REQUIRE_SERVERS)."""
    missing = [n for n in names if not os.environ.get(n)]
    if missing:
        if os.environ.get("CORVANE_REQUIRE_SERVERS") == "1":
            raise AssertionError("test servers not running: " + ", ".join(missing))
        raise unittest.SkipTest("test servers not running (tests/servers/up)")
    return [os.environ[n] for n in names]


class CommonClientOptionsTest(unittest.TestCase):
    """The options users of command-line HTTP clients reach for first, against nginx."""

    def setUp(self):
        self.port, self.root = server_env("CORVANE_NGINX_PORT", "CORVANE_NGINX_ROOT")
        self.base = "http://127.0.0.1:" + self.port

    def file(self, name):
        with open(os.path.join(self.root, name), "rb") as f:
            return f.read()

    def test_options(self):
        user, password = server_env("CORVANE_NGINX_USER", "CORVANE_NGINX_PASSWORD")
        data = self.file("data.json")
        cases = [
            # (args, exit code, stdout check, stderr check)
            (["--location", self.base + "/r302"], 0, lambda o: o == data, None),
            (["-L", self.base + "/chain1", "-g", "StatusLine"], 0,
             lambda o: o == b"StatusLine=HTTP/1.1 200 OK\n", None),
            ([self.base + "/r302"], 1, lambda o: True, lambda e: e.startswith("error 151")),
            (["--user", user + ":" + password, self.base + "/basic/data.json", "-x", "/json/secret"], 0,
             lambda o: o == b'"kept"\n', None),
            (["-u", user + ":wrong", self.base + "/basic/data.json"], 1, lambda o: True,
             lambda e: e.startswith("error 151") and "401" in e),
            (["--head", self.base + "/data.json"], 0,
             lambda o: o.startswith(b"HTTP/1.1 200 OK\r\n") and b"\r\nContent-Type: application/json\r\n" in o
             and o.endswith(b"\r\n\r\n") and data not in o, None),
            (["--include", self.base + "/data.json"], 0,
             lambda o: o.startswith(b"HTTP/1.1 200 OK\r\n") and o.endswith(b"\r\n\r\n" + data), None),
            (["--compressed", "-i", self.base + "/data.json"], 0,
             lambda o: b"\r\nContent-Encoding: gzip\r\n" in o and o.endswith(b"\r\n\r\n" + data), None),
            (["-i", self.base + "/data.json"], 0, lambda o: b"Content-Encoding" not in o, None),
            # The rate-limited file takes seconds; the limit ends it first.
            (["--max-time", "0.3", self.base + "/slow/data.txt"], 1, lambda o: True,
             lambda e: e.startswith("error 301")),
            (["-m", "2.5", "--connect-timeout", "1.5", self.base + "/data.json", "-g", "Timeout",
              "-c", "ConnectionTimeout"], 0,
             lambda o: o == b"Timeout=2500\nConnectionTimeout=1500\n", None),
            (["--connect-timeout", "2", self.base + "/data.json", "-c", "ConnectionTimeout",
              "-c", "TimeoutInMilliseconds"], 0,
             lambda o: o == b"ConnectionTimeout=2000\nTimeoutInMilliseconds=True\n", None),
            (["127.0.0.1:%s/data.json" % self.port, "-g", "URL"], 0,
             lambda o: o == b"URL=http://127.0.0.1:%s/data.json\n" % self.port.encode(), None),
            (["--version"], 0, lambda o: re.fullmatch(rb"corvane-rest \d+\.\d+\.\d+ \(libcorvane \d+\.\d+\.\d+\)\n", o),
             None),
            (["--max-time", "soon", self.base], 2, lambda o: True, lambda e: "usage:" in e),
            (["--proxy", "ftp://127.0.0.1:1", self.base], 2, lambda o: True, lambda e: "usage:" in e),
        ]
        for args, code, out_ok, err_ok in cases:
            with self.subTest(args=args):
                rc, out, err = run(*args)
                self.assertEqual(rc, code, err)
                self.assertTrue(out_ok(out), out[:300])
                if err_ok:
                    self.assertTrue(err_ok(err), err)

    def test_proxy_url_carries_the_proxy_credentials(self):
        port, user, password = server_env("CORVANE_PROXY_PORT", "CORVANE_PROXY_USER", "CORVANE_PROXY_PASSWORD")
        rc, out, err = run("--proxy", "http://%s:%s@127.0.0.1:%s" % (user, password, port),
                           self.base + "/data.json", "-g", "StatusLine", "-g", "ProxyServer")
        self.assertEqual((rc, out), (0, b"StatusLine=HTTP/1.1 200 OK\nProxyServer=127.0.0.1\n"), err)
        rc, _, err = run("--proxy", "127.0.0.1:" + port, self.base + "/data.json")
        self.assertEqual(rc, 1)
        self.assertIn("407", err)


class TlsOptionsTest(unittest.TestCase):
    """--cacert, --capath and --http2 against nginx with TLS, trusting only what
    the command line names (the system store knows nothing of the test CA)."""

    def setUp(self):
        self.ca, port, h2 = server_env("CORVANE_TLS_CA_FILE", "CORVANE_TLS_VALID_PORT", "CORVANE_TLS_H2_PORT")
        self.url = "https://localhost:%s/text.txt" % port
        self.h2url = "https://localhost:%s/text.txt" % h2
        self.env = {k: v for k, v in os.environ.items() if not k.startswith("SSL_CERT_")}

    def run_bare(self, *args):
        p = subprocess.run([CLI, *args], capture_output=True, timeout=60, env=self.env)
        return p.returncode, p.stdout, p.stderr.decode("utf-8", "replace")

    def test_trust_options(self):
        with tempfile.TemporaryDirectory() as capath, tempfile.TemporaryDirectory() as empty:
            subprocess.run(["cp", self.ca, capath], check=True)
            subprocess.run(["openssl", "rehash", capath], check=True, capture_output=True)
            cases = [
                (["--cacert", self.ca, self.url, "-g", "StatusLine"], 0, "StatusLine=HTTP/1.1 200 OK\n", []),
                (["--capath", capath, self.url, "-g", "StatusLine"], 0, "StatusLine=HTTP/1.1 200 OK\n", []),
                (["--cacert", self.ca, "--http2", self.h2url, "-g", "StatusLine"], 0,
                 "StatusLine=HTTP/2.0 200 OK\n", []),
                # Without a trusted CA the second line says why the certificate was refused.
                ([self.url, "-g", "StatusLine"], 1, "StatusLine=\n",
                 ["error 276: Server certificate verification failed",
                  "  certificate: [0x800b010a] A chain of certificates was not correctly created.; "
                  "subject CN=localhost, O=Example, C=US"]),
                (["--capath", empty, self.url], 1, "", ["error 276: ", "  certificate: [0x800b010a] "]),
                (["--cacert", "/nonexistent/ca.pem", self.url], 1, "",
                 ["error 280: Can't load trusted CA certificates from /nonexistent/ca.pem."]),
            ]
            for args, code, stdout, stderr in cases:
                with self.subTest(args=args):
                    rc, out, err = self.run_bare(*args)
                    self.assertEqual(rc, code, err)
                    self.assertEqual(out.decode(), stdout)
                    lines = err.splitlines()
                    self.assertEqual(len(lines), len(stderr), err)
                    for line, start in zip(lines, stderr):
                        self.assertTrue(line.startswith(start), (line, start))


def main():
    global CLI, SERVER, BASE
    CLI, script = sys.argv[1], sys.argv[2]
    with tempfile.TemporaryDirectory() as d:
        portfile = os.path.join(d, "port")
        SERVER = subprocess.Popen(["/usr/bin/python3", script, "--port-file", portfile],
                                  stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        try:
            deadline = time.time() + 10
            while not (os.path.exists(portfile) and open(portfile).read()):
                if time.time() > deadline:
                    raise SystemExit("sample service did not start")
                time.sleep(0.02)
            BASE = "http://127.0.0.1:" + open(portfile).read().strip()
            prog = unittest.main(argv=[sys.argv[0], "-v"], exit=False)
        finally:
            SERVER.terminate()
            SERVER.wait()
    sys.exit(0 if prog.result.wasSuccessful() else 1)


if __name__ == "__main__":
    main()
