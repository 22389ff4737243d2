#!/usr/bin/python3
"""Loopback peer for the REST object's tests: answers by path with fixed
content types and bodies, sets cookies and echoes the Cookie header.

Prints its port on the first line of stdout; stops when stdin closes.
"""
import json
import os
import socketserver
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "http"))
import loopback_server  # noqa: E402

ROUTES = {
    "/json-charset": (200, "application/json; charset=utf-8", b'{"a":{"b":"t"},"n":[1,2]}'),
    "/xhtml": (200, "application/xhtml+xml", b"<html><body><p>x</p></body></html>"),
    "/plain": (200, "text/plain", b"just text\r\nline two"),
    "/caps-json": (200, "Application/JSON", b'{"a":1}'),
    "/missing": (404, "text/xml", b"<problem><reason>gone</reason></problem>"),
    "/fault": (200, "text/xml", b"<r><ok/><error code='7'>bad thing</error></r>"),
    "/no-fault": (200, "text/xml", b"<r><ok>fine</ok></r>"),
    "/broken-xml": (200, "text/xml", b"<r><a></b></r>"),
    "/item": (200, "application/xml", b"<item id='1'>one</item>"),
    "/no-content": (204, "application/json", b""),
}


def head_and_body(rfile):
    head = b""
    while not head.endswith(b"\r\n\r\n"):
        line = rfile.readline(65537)
        if not line:
            return None, None
        head += line
    body = b""
    for line in head.split(b"\r\n"):
        if line.lower().startswith(b"content-length:"):
            body = rfile.read(int(line.split(b":", 1)[1]))
    return head, body


def answer(status, ctype, body, extra=()):
    out = b"HTTP/1.1 %d X\r\n" % status
    if ctype:
        out += b"Content-Type: " + ctype.encode() + b"\r\n"
    for h in extra:
        out += h.encode() + b"\r\n"
    return out + b"Content-Length: %d\r\n\r\n" % len(body) + body


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        while True:
            head, body = head_and_body(self.rfile)
            if head is None:
                return
            lines = head.decode("latin-1").split("\r\n")
            method, target = lines[0].split(" ")[:2]
            path = target.split("?")[0]
            headers = {}
            for l in lines[1:]:
                if ":" in l:
                    k, v = l.split(":", 1)
                    headers[k.strip().lower()] = v.strip()
            if path in ROUTES:
                status, ctype, data = ROUTES[path]
                if method == "DELETE":
                    status, ctype, data = 200, "application/json", b'{"deleted":true}'
                self.wfile.write(answer(status, ctype, data))
            elif path == "/cookies/twice":
                self.wfile.write(answer(200, "text/plain", b"ok",
                                        ["Set-Cookie: id=1; Path=/", "Set-Cookie: id=2; Path=/"]))
            elif path == "/cookies/paths":
                self.wfile.write(answer(200, "text/plain", b"ok",
                                        ["Set-Cookie: id=a; Path=/a", "Set-Cookie: id=b; Path=/b; Secure"]))
            elif path == "/cookies/base64":
                self.wfile.write(answer(200, "text/plain", b"ok",
                                        ["Set-Cookie: tok=YWJjZA==; Path=/; expires=Wed, 21 Oct 2015 07:28:00 GMT"]))
            elif path == "/echo-cookie":
                data = json.dumps({"cookie": headers.get("cookie", "")}).encode()
                self.wfile.write(answer(200, "application/json", data))
            else:
                self.wfile.write(answer(404, "text/plain", b"no route"))


if __name__ == "__main__":
    loopback_server.serve(Handler)
