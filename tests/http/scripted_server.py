#!/usr/bin/python3
"""Byte-exact HTTP peer for the client tests.

Listens on 127.0.0.1 port 0, prints the port on the first line of stdout,
and answers each request by its path. Several requests may share one
connection. Standard library only.
"""
import itertools
import socketserver
import zlib

import loopback_server

connection_numbers = itertools.count(1)


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

# Fixed answers: path -> (bytes, whether the connection stays open).
FIXED = {
    "/ok": (response("200", b'{"a":1}', ["Content-Type: application/json"]), True),
    "/interim": (b"HTTP/1.1 100 Continue\r\nX-Interim: yes\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", True),
    "/chunked-crlf": (b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\na\r\nbc\r\n3\r\n\r\nx\r\n0\r\n\r\n", True),
    "/nostatus": (b"just a body\r\nwithout a head\r\n", False),
    "/401": (response("401", b"denied", ['WWW-Authenticate: Basic realm="x"'], "Unauthorized"), True),
    "/404": (response("404", b"missing", [], "Not Found"), True),
    "/early401": (response("401", b"no", [], "Unauthorized"), False),
    "/long-chunk-line": (b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n2;" + b"e" * 5000 + b"\r\nok\r\n0\r\n\r\n",
                         False),
    "/gzip": (response("200", GZIPPED, ["Content-Encoding: gzip", "Content-Type: text/plain"]), True),
    "/bigclose": (b"HTTP/1.0 200 OK\r\n\r\n" + pattern(32, b"end"), False),
    # Keeps quiet about it, but closes after the response.
    "/okclose": (response("200", b"bye"), False),
    "/relative": (response("302", b"", ["Location: ok"], "Found"), True),
}


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        conn_no = next(connection_numbers)
        while True:
            try:
                req = read_request(self.rfile)
            except (ConnectionError, ValueError):
                return
            if req is None or getattr(self, "drop_next", False):
                return
            head, body = req
            method, target = head.split(b"\r\n", 1)[0].decode("latin-1").split(" ")[0:2]
            path = target.split("?", 1)[0]
            if "://" in path:  # the absolute form a proxy receives
                path = "/" + path.split("://", 1)[1].partition("/")[2]
            host = b""
            for line in head.split(b"\r\n"):
                if line.lower().startswith(b"host:"):
                    host = line.split(b":", 1)[1].strip()
            try:
                keep = self.answer(method, target, path, head, body, host, conn_no)
                self.wfile.flush()
            except (ConnectionError, OSError):
                return
            if not keep or b"connection: close" in head.lower():
                return

    def answer(self, method, target, path, head, body, host, conn_no):
        send = self.wfile.write
        if path in FIXED:
            data, keep = FIXED[path]
            send(data)
            return keep
        if path == "/echo":
            send(response("200", head + body, ["Content-Type: text/plain"]))
        elif path == "/conn":
            send(response("200", str(conn_no).encode()))
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
            return False
        elif path.startswith("/redirect/"):
            loc = target.split("to=", 1)[1] if "to=" in target else "/ok"
            send(response(path.split("/")[2], b"moved", ["Location: " + loc], "Moved"))
        elif path == "/big":
            data = pattern(48, b"tail-of-the-body")
            send(b"HTTP/1.1 200 OK\r\nContent-Length: " + str(len(data)).encode() + b"\r\n\r\n")
            for i in range(0, len(data), 10000):
                send(data[i:i + 10000])
                self.wfile.flush()
        elif path == "/same":
            send(response("302", b"", ["Location: http://" + host.decode() + "/same"], "Found"))
        elif path == "/method":
            send(response("200", method.encode() + b" " + str(len(body)).encode()))
        else:
            send(response("404", b"unknown case", [], "Not Found"))
        return True


if __name__ == "__main__":
    loopback_server.serve(Handler)
