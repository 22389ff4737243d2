#!/usr/bin/python3
"""Byte-exact HTTP peer for the client tests.

Listens on 127.0.0.1 port 0, prints the port on the first line of stdout,
and answers each request by its path. Several requests may share one
connection. Standard library only.
"""
import socketserver
import threading
import zlib

import loopback_server

connection_counter = 0
counter_lock = threading.Lock()


def read_request(rfile):
    """Returns (head bytes, body bytes) or None at end of stream."""
    head = b""
    while not head.endswith(b"\r\n\r\n"):
        line = rfile.readline(65537)
        if not line:
            return None
        head += line
        if len(head) > 1 << 20:
            return None
    body = b""
    lower = head.lower()
    if b"transfer-encoding: chunked" in lower:
        while True:
            size_line = rfile.readline()
            body += size_line
            size = int(size_line.split(b";")[0].strip() or b"0", 16)
            data = rfile.read(size + 2)
            body += data
            if size == 0:
                break
    else:
        for line in head.split(b"\r\n"):
            if line.lower().startswith(b"content-length:"):
                n = int(line.split(b":", 1)[1])
                body = rfile.read(n) if n > 0 else b""
    return head, body


def response(status, body=b"", headers=(), reason=None):
    out = b"HTTP/1.1 " + status.encode()
    if reason is not None:
        out += b" " + reason.encode()
    out += b"\r\n"
    for h in headers:
        out += h.encode() + b"\r\n"
    out += b"Content-Length: " + str(len(body)).encode() + b"\r\n\r\n" + body
    return out


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        global connection_counter
        with counter_lock:
            connection_counter += 1
            conn_no = connection_counter
        while True:
            try:
                req = read_request(self.rfile)
            except (ConnectionError, ValueError):
                return
            if req is None:
                return
            head, body = req
            if getattr(self, "drop_next", False):
                return
            request_line = head.split(b"\r\n", 1)[0].decode("latin-1")
            method, target = request_line.split(" ")[0:2]
            path = target.split("?", 1)[0]
            if "://" in path:  # the absolute form a proxy receives
                path = "/" + path.split("://", 1)[1].partition("/")[2]
            host = b""
            for line in head.split(b"\r\n"):
                if line.lower().startswith(b"host:"):
                    host = line.split(b":", 1)[1].strip()
            keep = self.answer(method, target, path, head, body, host, conn_no)
            self.wfile.flush()
            if not keep or b"connection: close" in head.lower():
                return

    def send(self, data):
        self.wfile.write(data)

    def answer(self, method, target, path, head, body, host, conn_no):
        if path == "/ok":
            self.send(response("200", b'{"a":1}', ["Content-Type: application/json"], "OK"))
        elif path == "/echo":
            self.send(response("200", head + body, ["Content-Type: text/plain"], "OK"))
        elif path == "/conn":
            self.send(response("200", str(conn_no).encode(), [], "OK"))
        elif path == "/interim":
            self.send(b"HTTP/1.1 100 Continue\r\nX-Interim: yes\r\n\r\n"
                      b"HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok")
        elif path == "/chunked-crlf":
            self.send(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                      b"5\r\na\r\nbc\r\n3\r\n\r\nx\r\n0\r\n\r\n")
        elif path == "/nostatus":
            self.send(b"just a body\r\nwithout a head\r\n")
            return False
        elif path == "/401":
            self.send(response("401", b"denied", ['WWW-Authenticate: Basic realm="x"'], "Unauthorized"))
        elif path == "/404":
            self.send(response("404", b"missing", [], "Not Found"))
        elif path == "/early401":
            self.send(response("401", b"no", [], "Unauthorized"))
            return False
        elif path == "/endless-headers":
            self.send(b"HTTP/1.1 200 OK\r\n")
            line = b"X-Filler: " + b"a" * 100 + b"\r\n"
            try:
                while True:
                    self.send(line * 100)
            except (ConnectionError, OSError):
                return False
        elif path == "/then-drop":
            # Keeps the connection, and drops it unanswered on the next request.
            self.send(response("200", b"kept", [], "OK"))
            self.drop_next = True
        elif path == "/gzipbomb":
            # 64 MiB of zeros (or "?mib=N"), gzip-encoded, sent as it is compressed.
            mib = int(target.split("mib=", 1)[1]) if "mib=" in target else 64
            self.send(b"HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nConnection: close\r\n\r\n")
            comp = zlib.compressobj(9 if mib == 64 else 1, zlib.DEFLATED, 31)
            block = bytes(1 << 20)
            try:
                for _ in range(mib):
                    out = comp.compress(block)
                    if out:
                        self.send(out)
                self.send(comp.flush())
            except (ConnectionError, OSError):
                pass
            return False
        elif path == "/long-chunk-line":
            self.send(b"HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n"
                      b"2;" + b"e" * 5000 + b"\r\nok\r\n0\r\n\r\n")
            return False
        elif path == "/gzip":
            comp = zlib.compressobj(6, zlib.DEFLATED, 31)
            gz = comp.compress(b"hello gzip " * 100) + comp.flush()
            self.send(response("200", gz, ["Content-Encoding: gzip", "Content-Type: text/plain"], "OK"))
        elif path.startswith("/redirect/"):
            code = path.split("/")[2]
            loc = target.split("to=", 1)[1] if "to=" in target else "/ok"
            self.send(response(code, b"moved", ["Location: " + loc], "Moved"))
        elif path == "/big":
            body = bytes(i * 7 % 251 for i in range(65536)) * 48 + b"tail-of-the-body"
            self.send(b"HTTP/1.1 200 OK\r\nContent-Length: " + str(len(body)).encode() + b"\r\n\r\n")
            for i in range(0, len(body), 10000):
                self.send(body[i:i + 10000])
                self.wfile.flush()
        elif path == "/bigclose":
            body = bytes(i * 7 % 251 for i in range(65536)) * 32 + b"end"
            self.send(b"HTTP/1.0 200 OK\r\n\r\n" + body)
            return False
        elif path == "/okclose":
            # Keeps quiet about it, but closes after the response.
            self.send(response("200", b"bye", [], "OK"))
            return False
        elif path == "/relative":
            self.send(response("302", b"", ["Location: ok"], "Found"))
        elif path == "/same":
            self.send(response("302", b"", ["Location: http://" + host.decode() + "/same"], "Found"))
        elif path == "/method":
            self.send(response("200", method.encode() + b" " + str(len(body)).encode(), [], "OK"))
        else:
            self.send(response("404", b"unknown case", [], "Not Found"))
        return True


if __name__ == "__main__":
    loopback_server.serve(Handler)
