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
import socket
import ssl
import sys
import threading


def subject_of(cert):
    if not cert:
        return "none"
    return ",".join("%s=%s" % pair[0] for pair in reversed(cert["subject"]))


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


def main():
    cert, key, client_ca = sys.argv[1:4]
    ctx = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    ctx.minimum_version = ssl.TLSVersion.TLSv1_3
    ctx.load_cert_chain(cert, key)
    ctx.load_verify_locations(client_ca)
    ctx.verify_mode = ssl.CERT_OPTIONAL
    ctx.post_handshake_auth = True
    srv = socket.socket()
    srv.bind(("127.0.0.1", 0))
    srv.listen(8)
    print(srv.getsockname()[1], flush=True)
    threading.Thread(target=lambda: (sys.stdin.read(), os._exit(0)), daemon=True).start()
    while True:
        conn, _ = srv.accept()
        try:
            with ctx.wrap_socket(conn, server_side=True) as tls:
                serve(tls)
        except (OSError, ssl.SSLError):
            pass


main()
