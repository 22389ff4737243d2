#!/usr/bin/python3
"""Records every byte clients send, for the tests that must prove nothing
(or nothing more) reached the wire.

Listens on 127.0.0.1 port 0 and prints the port on its first line. Each
request head is answered by its path:
  /captured          200 with everything received on other connections
                     since the last /captured, then forgets it
  /digest            401 with a Digest challenge
  /cookie-nul        200 setting a cookie whose value holds a NUL byte
  /location-nul      302 to a Location holding a NUL byte
  anything else      200 "ok"
Responses close the connection. Standard library only.
"""
import socketserver
import sys
import threading

captured = bytearray()
lock = threading.Lock()


def reply(status, headers=(), body=b""):
    out = b"HTTP/1.1 " + status + b"\r\n"
    for h in headers:
        out += h + b"\r\n"
    return out + b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body) + body


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        data = b""
        self.request.settimeout(5)
        try:
            while b"\r\n\r\n" not in data:
                piece = self.request.recv(65536)
                if not piece:
                    break
                data += piece
        except OSError:
            pass
        target = data.split(b" ", 2)[1] if data.count(b" ") >= 2 else b""
        if target == b"/captured":
            with lock:
                body = bytes(captured)
                captured.clear()
            self.request.sendall(reply(b"200 OK", body=body))
            return
        with lock:
            captured.extend(data)
        if not data:
            return
        if target == b"/digest":
            answer = reply(b"401 Unauthorized",
                           [b'WWW-Authenticate: Digest realm="r", nonce="n1", qop="auth"'])
        elif target == b"/cookie-nul":
            answer = reply(b"200 OK", [b"Set-Cookie: a=1\x00X-Injected: 1"], b"ok")
        elif target == b"/location-nul":
            answer = reply(b"302 Found", [b"Location: /ok\x00X-Injected: 1"])
        else:
            answer = reply(b"200 OK", body=b"ok")
        try:
            self.request.sendall(answer)
        except OSError:
            pass


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def main():
    server = Server(("127.0.0.1", 0), Handler)
    sys.stdout.write("%d\n" % server.server_address[1])
    sys.stdout.flush()
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()
    server.shutdown()


if __name__ == "__main__":
    main()
