#!/usr/bin/python3
"""A server that ends responses the ways a client must not take for success
(closes and resets before the status line or inside a body, close-delimited
bodies over TLS with and without close_notify), and that records every
request head it receives (/captured hands them over) for the tests that must
prove nothing reached the wire. With --tls it speaks TLS with a self-signed
certificate made at start with the openssl tool; each connection is closed
after its one response.
"""
import os
import socket
import socketserver
import ssl
import struct
import subprocess
import sys
import tempfile
import threading

import loopback_server

captured = bytearray()
lock = threading.Lock()


def reply(status, headers=(), body=b""):
    out = b"HTTP/1.1 " + status + b"\r\n"
    for h in headers:
        out += h + b"\r\n"
    return out + b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body) + body


HEAD_10 = b"HTTP/1.0 200 OK\r\nContent-Type: text/plain\r\n\r\n"
# path -> (bytes sent, then "reset" the connection, send a "close_notify", or
# just close).
ANSWERS = {
    "/digest": (reply(b"401 Unauthorized", [b'WWW-Authenticate: Digest realm="r", nonce="n1", qop="auth"']), None),
    "/cookie-nul": (reply(b"200 OK", [b"Set-Cookie: a=1\x00X-Injected: 1"], b"ok"), None),
    "/location-nul": (reply(b"302 Found", [b"Location: /ok\x00X-Injected: 1"]), None),
    "/close-before-status": (b"", None),
    "/reset-before-status": (b"", "reset"),
    "/reset-close-delimited": (HEAD_10 + b"first part of the body", "reset"),
    "/reset-length-body": (b"HTTP/1.1 200 OK\r\nContent-Length: 100\r\n\r\n0123456789", "reset"),
    "/huge-length": (b"HTTP/1.1 200 OK\r\nContent-Length: 4611686018427387905\r\n\r\nabc", None),
    "/close-delimited": (HEAD_10 + b"the whole body", None),
    "/close-delimited-notify": (HEAD_10 + b"the whole body", "notify"),
}


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        raw = self.request
        raw.settimeout(10)
        conn = raw
        if self.server.context is not None:
            try:
                conn = self.server.context.wrap_socket(raw, server_side=True)
            except (ssl.SSLError, OSError):
                return
        data = b""
        try:
            while b"\r\n\r\n" not in data:
                piece = conn.recv(65536)
                if not piece:
                    break
                data += piece
        except OSError:
            pass
        path = data.split(b" ", 2)[1].decode("latin-1") if data.count(b" ") >= 2 else ""
        if path != "/captured":
            with lock:
                captured.extend(data)
        if b"\r\n\r\n" not in data:
            return
        try:
            self.answer(path, conn, raw)
        except OSError:
            pass

    def answer(self, path, conn, raw):
        if path == "/captured":
            with lock:
                body = bytes(captured)
                captured.clear()
            data, then = reply(b"200 OK", body=body), None
        else:
            data, then = ANSWERS.get(path, (reply(b"200 OK", body=b"ok"), None))
        conn.sendall(data)
        if then == "reset":
            # SO_LINGER with a zero timeout turns close into a reset.
            raw.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
        elif then == "notify" and isinstance(conn, ssl.SSLSocket):
            conn.unwrap()
        # Closing the raw socket sends no close_notify: Python's SSLSocket
        # only sends one through unwrap.
        raw.close()


def self_signed_context(directory):
    key = os.path.join(directory, "key.pem")
    cert = os.path.join(directory, "cert.pem")
    subprocess.run(["openssl", "req", "-x509", "-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:P-256",
                    "-nodes", "-days", "2", "-subj", "/CN=localhost", "-keyout", key, "-out", cert],
                   check=True, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert, key)
    return context


def main():
    with tempfile.TemporaryDirectory() as directory:
        def prepare(server):
            server.context = self_signed_context(directory) if "--tls" in sys.argv else None

        loopback_server.serve(Handler, prepare)


if __name__ == "__main__":
    main()
