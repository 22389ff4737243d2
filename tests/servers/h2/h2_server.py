#!/usr/bin/python3
"""Scripted HTTP/2 server for the client's edge cases that real servers do
not produce, one behaviour per process (--mode), on the shared loopback run
loop. With --cert and --key the connection is TLS with ALPN "h2"; without
them the client speaks HTTP/2 with prior knowledge.

Modes: ok (GET: 200 "hello"; POST: 200 "received <n>", flow control
credited as the body arrives), gzip (a gzip-coded body), rst_cancel
(RST_STREAM CANCEL instead of a response), window0 (initial window 0, never
a WINDOW_UPDATE), push (a PUSH_PROMISE first), big_headers (a header block
past 256 KiB in CONTINUATION frames), crlf_cookie (a set-cookie value holding
CR LF and a second field).
"""
import argparse
import gzip
import os
import socketserver
import ssl
import struct
import sys

import h2.config
import h2.connection
import h2.events
import h2.exceptions
import h2.settings

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "..", "http"))
import loopback_server  # noqa: E402

ARGS = None


def hpack_int(value, prefix_bits):
    """RFC 7541 section 5.1 integer, first byte's flag bits zero."""
    limit = (1 << prefix_bits) - 1
    if value < limit:
        return bytes([value])
    out = [limit]
    value -= limit
    while value >= 128:
        out.append(value % 128 + 128)
        value //= 128
    return bytes(out + [value])


def status_200_and_field(stream, name, value):
    """A header block written by hand (":status: 200" and a literal field
    without indexing) in HEADERS and CONTINUATION frames of at most 16 KiB:
    the library refuses to send such values."""
    block = b"\x88\x00" + hpack_int(len(name), 7) + name + hpack_int(len(value), 7) + value
    out = b""
    for i in range(0, len(block), 16384):
        piece = block[i:i + 16384]
        flags = (0x4 if i + 16384 >= len(block) else 0) | (0x1 if i == 0 else 0)
        out += struct.pack(">BHBBI", len(piece) >> 16, len(piece) & 0xFFFF, 1 if i == 0 else 9,
                           flags, stream) + piece
    return out


def serve(sock, mode):
    conn = h2.connection.H2Connection(h2.config.H2Configuration(client_side=False,
                                                                header_encoding="utf-8"))
    conn.initiate_connection()
    if mode == "window0":
        conn.update_settings({h2.settings.SettingCodes.INITIAL_WINDOW_SIZE: 0})
    sock.sendall(conn.data_to_send())
    body_len = {}

    def respond(stream, body, headers=()):
        conn.send_headers(stream, [(":status", "200"), ("content-length", str(len(body)))] + list(headers))
        conn.send_data(stream, body, end_stream=True)

    while True:
        data = sock.recv(65536)
        if not data:
            return
        for event in conn.receive_data(data):
            if isinstance(event, h2.events.RequestReceived):
                s = event.stream_id
                if mode == "rst_cancel":
                    conn.reset_stream(s, error_code=8)
                elif mode == "push":
                    conn.push_stream(s, 2, [(":method", "GET"), (":scheme", "https"),
                                            (":authority", "127.0.0.1"), (":path", "/pushed")])
                    respond(s, b"hello", [("content-type", "text/plain")])
                elif mode == "big_headers":
                    sock.sendall(conn.data_to_send() + status_200_and_field(s, b"x-big", b"b" * 300000))
                elif mode == "crlf_cookie":
                    sock.sendall(conn.data_to_send() + status_200_and_field(s, b"set-cookie", b"a=1\r\nX-Injected: 1"))
                elif mode == "gzip":
                    respond(s, gzip.compress(b"hello gzip\n" * 100),
                            [("content-encoding", "gzip"), ("content-type", "text/plain")])
                elif dict(event.headers).get(":method") in ("POST", "PUT"):
                    body_len[s] = 0
                    if event.stream_ended is not None:
                        respond(s, b"received 0")
                else:
                    respond(s, b"hello", [("content-type", "text/plain")])
            elif isinstance(event, h2.events.DataReceived):
                body_len[event.stream_id] = body_len.get(event.stream_id, 0) + len(event.data)
                if mode != "window0":
                    conn.acknowledge_received_data(event.flow_controlled_length, event.stream_id)
            elif isinstance(event, h2.events.StreamEnded) and event.stream_id in body_len and \
                    mode in ("ok", "window0"):
                respond(event.stream_id, b"received %d" % body_len[event.stream_id])
        sock.sendall(conn.data_to_send())


class Handler(socketserver.BaseRequestHandler):
    def handle(self):
        try:
            serve(self.request, ARGS.mode)
        except (OSError, h2.exceptions.ProtocolError):
            pass


def wrap_in_tls(server):
    if ARGS.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(ARGS.cert, ARGS.key)
        context.set_alpn_protocols(["h2"])
        server.socket = context.wrap_socket(server.socket, server_side=True)


if __name__ == "__main__":
    ap = argparse.ArgumentParser()
    ap.add_argument("--mode", default="ok")
    ap.add_argument("--cert")
    ap.add_argument("--key")
    ARGS = ap.parse_args()
    loopback_server.serve(Handler, wrap_in_tls)
