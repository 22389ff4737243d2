"""TLS 1.3 server that asks for the client certificate only after the
handshake (RFC 8446 4.6.2), as a server does that decides per request.

Usage: post_handshake_server.py CERT KEY CLIENT_CA. Prints its port, then
answers each connection's first request with the subject of the
certificate the client sent afterwards ("none" when it sent none), and
"before: <subject>" when one came in the handshake already. Stops when its
standard input closes.
"""
import os
import select
import socketserver
import ssl
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "http"))
import loopback_server  # noqa: E402


def subject_of(cert):
    if not cert:
        return "none"
    return ",".join("%s=%s" % pair[0] for pair in reversed(cert["subject"]))


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        try:
            with CONTEXT.wrap_socket(self.request, server_side=True) as tls:
                serve(tls)
        except (OSError, ssl.SSLError):
            pass


def serve(tls):
    data = b""
    while b"\r\n\r\n" not in data:
        chunk = tls.recv(4096)
        if not chunk:
            return
        data += chunk
    early = tls.getpeercert()
    tls.verify_client_post_handshake()
    # The request goes out with the next write; the answer comes back on
    # the reads that follow.
    tls.sendall(b"HTTP/1.1 200 OK\r\n")
    tls.setblocking(False)
    cert = None
    for _ in range(50):
        ready, _, _ = select.select([tls], [], [], 0.1)
        if ready:
            try:
                tls.recv(4096)
            except ssl.SSLWantReadError:
                pass
            except ssl.SSLError:
                break
        cert = tls.getpeercert()
        if cert:
            break
    tls.setblocking(True)
    body = ("before: " + subject_of(early) if early else subject_of(cert)).encode()
    tls.sendall(b"Content-Length: %d\r\nConnection: close\r\n\r\n" % len(body) + body)


cert, key, client_ca = sys.argv[1:4]
CONTEXT = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
CONTEXT.minimum_version = ssl.TLSVersion.TLSv1_3
CONTEXT.load_cert_chain(cert, key)
CONTEXT.load_verify_locations(client_ca)
CONTEXT.verify_mode = ssl.CERT_OPTIONAL
CONTEXT.post_handshake_auth = True
loopback_server.serve(Handler)
