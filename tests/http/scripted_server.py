#!/usr/bin/python3
"""Byte-exact HTTP peer for the HTTP and REST client tests: answers each
request by its path, several to a connection, some in ways a client must not
take for success (a close or reset before the status line or in a body).
/captured hands over the request heads received since, to prove nothing
reached the wire; --tls speaks TLS with a certificate made at start."""
import json
import os
import re
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import tempfile
import threading
import zlib

import loopback_server

captured = bytearray()
lock = threading.Lock()


def read_request(rfile):
    """Returns (head bytes, body bytes) or None at end of stream."""
    head = b""
    while not head.endswith(b"\r\n\r\n"):
        line = rfile.readline(65537)
        if not line or len(head) > 1 << 20:
            return None
        head += line
    body = b""
    if b"transfer-encoding: chunked" in head.lower():
        size = None
        while size != 0:
            size_line = rfile.readline()
            size = int(size_line.split(b";")[0].strip() or b"0", 16)
            body += size_line + rfile.read(size + 2)
    else:
        for line in head.split(b"\r\n"):
            if line.lower().startswith(b"content-length:"):
                n = int(line.split(b":", 1)[1])
                body = rfile.read(n) if n > 0 else b""
    return head, body


def response(status, body=b"", headers=(), reason="OK"):
    out = b"HTTP/1.1 " + status.encode() + b" " + reason.encode() + b"\r\n"
    for h in headers:
        out += h.encode() + b"\r\n"
    return out + b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body


def pattern(repeats, tail):
    return bytes(i * 7 % 251 for i in range(65536)) * repeats + tail


GZIPPED = zlib.compressobj(6, zlib.DEFLATED, 31)
GZIPPED = GZIPPED.compress(b"hello gzip " * 100) + GZIPPED.flush()
HEAD_10 = b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n"

# Fixed answers: path -> (bytes, then): the connection is kept (None), closed
# ("close"), reset ("reset") or closed after a TLS close_notify ("notify").
FIXED = {
    "/ok": (response("200", b'{"a":1}', ["Content-Type: application/json"]), None),
    "/interim": (b"HTTP/1.1 100 Continue\r\nX-Interim: yes\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", None),
    "/chunked-crlf": (b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\na\r\nbc\r\n3\r\n\r\nx\r\n0\r\n\r\n", None),
    "/nostatus": (b"just a body\r\nwithout a head\r\n", "close"),
    "/401": (response("401", b"denied", ['WWW-Authenticate: Basic realm="x"'], "Unauthorized"), None),
    "/404": (response("404", b"missing", [], "Not Found"), None),
    "/early401": (response("401", b"no", [], "Unauthorized"), "close"),
    "/gzip": (response("200", GZIPPED, ["Content-Encoding: gzip", "Content-Type: text/plain"]), None),
    "/big": (response("200", pattern(48, b"tail-of-the-body")), None),
    "/bigclose": (b"HTTP/1.0 200 OK\r\n\r\n" + pattern(32, b"end"), "close"),
    # Keeps quiet about it, but closes after the response.
    "/okclose": (response("200", b"bye"), "close"),
    "/relative": (response("302", b"", ["Location: ok"], "Found"), None),
    "/same": (response("302", b"", ["Location: /same"], "Found"), None),
    "/digest": (response("401", b"", ['WWW-Authenticate: Digest realm="r", nonce="n1", qop="auth"'], "Unauthorized"),
                "close"),
    "/cookie-nul": (response("200", b"ok", ["Set-Cookie: a=1\x00X-Injected: 1"]), None),
    "/location-nul": (response("302", b"", ["Location: /ok\x00X-Injected: 1"], "Found"), "close"),
    "/close-before-status": (b"", "close"),
    "/reset-before-status": (b"", "reset"),
    "/reset-close-delimited": (HEAD_10 + b"first part of the body", "reset"),
    "/reset-length-body": (b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789", "reset"),
    "/huge-length": (b"HTTP/1.1 200 OK\r\nContent-Length: 4611686018427387905\r\n\r\nabc", "close"),
    "/close-delimited": (HEAD_10 + b"the whole body", "close"),
    "/close-delimited-notify": (HEAD_10 + b"the whole body", "notify"),
}
# Documents for the REST object: path -> (status, Content-Type, body, Set-Cookie values).
for path, (status, ctype, body, cookies) in {
    "/json-charset": ("200", "application/json; charset=utf-8", b'{"a":{"b":"t"},"n":[1,2]}', ()),
    "/xhtml": ("200", "application/xhtml+xml", b"<html><body><p>x</p></body></html>", ()),
    "/plain": ("200", "text/plain", b"just text\r\nline two", ()),
    "/caps-json": ("200", "Application/JSON", b'{"a":1}', ()),
    "/missing": ("404", "text/xml", b"<problem><reason>gone</reason></problem>", ()),
    "/fault": ("200", "text/xml", b"<r><ok/><error code='7'>bad thing</error></r>", ()),
    "/no-fault": ("200", "text/xml", b"<r><ok>fine</ok></r>", ()),
    "/broken-xml": ("200", "text/xml", b"<r><a></b></r>", ()),
    "/item": ("200", "application/xml", b"<item id='1'>one</item>", ()),
    "/no-content": ("204", "application/json", b"", ()),
    "/cookies/twice": ("200", "text/plain", b"ok", ("id=1; Path=/", "id=2; Path=/")),
    "/cookies/paths": ("200", "text/plain", b"ok", ("id=a; Path=/a", "id=b; Path=/b; Secure")),
    "/cookies/base64": ("200", "text/plain", b"ok",
                        ("tok=YWJjZA==; Path=/; expires=Wed, 21 Oct 2015 07:28:00 GMT",)),
}.items():
    FIXED[path] = (response(status, body, ["Content-Type: " + ctype] + ["Set-Cookie: " + c for c in cookies]), None)


class Handler(socketserver.StreamRequestHandler):
    def setup(self):
        if self.server.context is not None:
            self.request.settimeout(10)
            self.request = self.server.context.wrap_socket(self.request, server_side=True)
        super().setup()

    def handle(self):
        while True:
            try:
                req = read_request(self.rfile)
            except (ConnectionError, ValueError, OSError):
                return
            if req is None or getattr(self, "drop_next", False):
                return
            head, body = req
            method, target = head.split(b"\r\n", 1)[0].decode("latin-1").split(" ")[0:2]
            path = target.split("?", 1)[0]
            if "://" in path:  # the absolute form a proxy receives
                path = "/" + path.split("://", 1)[1].partition("/")[2]
            if path != "/captured":
                with lock:
                    captured.extend(head)
            try:
                then = self.answer(method, target, path, head, body)
                self.wfile.flush()
                if then == "reset":
                    # SO_LINGER with a zero timeout turns close into a reset;
                    # closing here keeps the server's own shutdown (a FIN)
                    # from going out first.
                    self.request.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
                    self.request.close()
                elif then == "notify":
                    self.request.unwrap()
            except (ConnectionError, OSError):
                return
            # Python's TLS sockets send close_notify only through unwrap.
            if then is not None or b"connection: close" in head.lower():
                return

    def answer(self, method, target, path, head, body):
        send = self.wfile.write
        if path in FIXED:
            data, then = FIXED[path]
            send(data)
            return then
        if path == "/echo":
            send(response("200", head + body, ["Content-Type: text/plain"]))
        elif path == "/captured":
            with lock:
                send(response("200", bytes(captured)))
                captured.clear()
        elif path == "/echo-cookie":
            cookie = re.search(rb"(?im)^cookie:[ \t]*(.*?)\r?$", head)
            text = json.dumps({"cookie": cookie.group(1).decode() if cookie else ""})
            send(response("200", text.encode(), ["Content-Type: application/json"]))
        elif path == "/endless-headers":
            send(b"HTTP/1.1 200 OK\r\n")
            while True:  # until the client closes
                send((b"X-Filler: " + b"a" * 100 + b"\r\n") * 100)
        elif path == "/then-drop":
            # Keeps the connection, and drops it unanswered on the next request.
            send(response("200", b"kept"))
            self.drop_next = True
        elif path == "/gzipbomb":
            # 64 MiB of zeros (or "?mib=N"), gzip-encoded, sent as it is compressed.
            mib = int(target.split("mib=", 1)[1]) if "mib=" in target else 64
            send(b"HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nConnection: close\r\n\r\n")
            comp = zlib.compressobj(9 if mib == 64 else 1, zlib.DEFLATED, 31)
            for _ in range(mib):
                send(comp.compress(bytes(1 << 20)))
            send(comp.flush())
            return "close"
        elif path.startswith("/redirect/"):
            loc = target.split("to=", 1)[1] if "to=" in target else "/ok"
            send(response(path.split("/")[2], b"moved", ["Location: " + loc], "Moved"))
        elif path == "/method":
            send(response("200", method.encode() + b" " + str(len(body)).encode()))
        else:
            send(response("404", b"unknown case", [], "Not Found"))
        return None


def main():
    with tempfile.TemporaryDirectory() as directory:
        def prepare(server):
            server.context = None
            if "--tls" in sys.argv:
                key, cert = os.path.join(directory, "key.pem"), os.path.join(directory, "cert.pem")
                subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                                "-nodes", "-days", "2", "-subj", "/CN=localhost", "-keyout", key, "-out", cert],
                               check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
                server.context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
                server.context.load_cert_chain(cert, key)

        loopback_server.serve(Handler, prepare)


if __name__ == "__main__":
    main()
