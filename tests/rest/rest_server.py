#!/usr/bin/python3
"""Loopback peer for the REST object's tests: answers by path with fixed
content types, bodies and Set-Cookie fields, and echoes the Cookie header.

Prints its port on the first line of stdout; stops when stdin closes.
"""
import http.server
import json
import os
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "http"))
import loopback_server  # noqa: E402

ROUTES = {  # path: (status, Content-Type, body, Set-Cookie values)
    "/json-charset": (200, "application/json; charset=utf-8", b'{"a":{"b":"t"},"n":[1,2]}', ()),
    "/xhtml": (200, "application/xhtml+xml", b"<html><body><p>x</p></body></html>", ()),
    "/plain": (200, "text/plain", b"just text\r\nline two", ()),
    "/caps-json": (200, "Application/JSON", b'{"a":1}', ()),
    "/missing": (404, "text/xml", b"<problem><reason>gone</reason></problem>", ()),
    "/fault": (200, "text/xml", b"<r><ok/><error code='7'>bad thing</error></r>", ()),
    "/no-fault": (200, "text/xml", b"<r><ok>fine</ok></r>", ()),
    "/broken-xml": (200, "text/xml", b"<r><a></b></r>", ()),
    "/item": (200, "application/xml", b"<item id='1'>one</item>", ()),
    "/no-content": (204, "application/json", b"", ()),
    "/cookies/twice": (200, "text/plain", b"ok", ("id=1; Path=/", "id=2; Path=/")),
    "/cookies/paths": (200, "text/plain", b"ok", ("id=a; Path=/a", "id=b; Path=/b; Secure")),
    "/cookies/base64": (200, "text/plain", b"ok",
                        ("tok=YWJjZA==; Path=/; expires=Wed, 21 Oct 2015 07:28:00 GMT",)),
}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, *args):
        pass

    def handle_any(self):
        self.rfile.read(int(self.headers.get("Content-Length") or 0))
        path = self.path.split("?")[0]
        status, ctype, body, cookies = ROUTES.get(path, (404, "text/plain", b"no route", ()))
        if path == "/echo-cookie":
            status, ctype = 200, "application/json"
            body = json.dumps({"cookie": self.headers.get("Cookie", "")}).encode()
        elif self.command == "DELETE" and path in ROUTES:
            status, ctype, body = 200, "application/json", b'{"deleted":true}'
        self.send_response_only(status, "X")  # a fixed head: no Server or Date fields
        self.send_header("Content-Type", ctype)
        for cookie in cookies:
            self.send_header("Set-Cookie", cookie)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body)

    do_GET = do_POST = do_PUT = do_DELETE = handle_any


if __name__ == "__main__":
    loopback_server.serve(Handler)
