#!/usr/bin/python3
"""Scripted HTTP/2 server for the client's edge cases that real servers do
not produce. One behaviour per process (--mode), loopback only, port 0: the
chosen port is printed as "PORT <n>" on the first line of stdout. With
--cert and --key the connection is TLS with ALPN "h2"; without them the
client is expected to speak HTTP/2 with prior knowledge.

Modes:
  ok         GET: 200 "hello"; POST: 200 "received <n>" (flow control
             credited as the body arrives)
  gzip       200 with a gzip-coded body of "hello gzip\\n" * 100
  rst_cancel RST_STREAM with CANCEL (0x8) instead of a response
  ping7      a PING frame with 7 bytes of payload
  window0    SETTINGS_INITIAL_WINDOW_SIZE 0 and never a WINDOW_UPDATE
  push       a PUSH_PROMISE for stream 2 before the response
  big_headers a response header block of more than 256 KiB (a plain
             literal, in CONTINUATION frames)
  crlf_cookie a response whose set-cookie value holds CR LF and a second
             field after it
  nul_location a 302 whose location value holds a NUL byte
The process serves connections one after another until it is killed or its
stdin closes.
"""
import argparse
import gzip
import socket
import ssl
import struct
import sys
import threading

import h2.config
import h2.connection
import h2.events
import h2.exceptions
import h2.settings


def raw_frame(ftype, flags, stream, payload):
    n = len(payload)
    return struct.pack(">BHBBI", n >> 16, n & 0xFFFF, ftype, flags, stream) + payload


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
    out.append(value)
    return bytes(out)


def serve(sock, mode):
    conn = h2.connection.H2Connection(h2.config.H2Configuration(client_side=False,
                                                                header_encoding="utf-8"))
    conn.initiate_connection()
    if mode == "window0":
        conn.update_settings({h2.settings.SettingCodes.INITIAL_WINDOW_SIZE: 0})
    sock.sendall(conn.data_to_send())
    body_len = {}

    def respond(stream, status, body, headers=()):
        conn.send_headers(stream, [(":status", str(status)), ("content-length", str(len(body)))] +
                          list(headers))
        conn.send_data(stream, body, end_stream=True)

    while True:
        data = sock.recv(65536)
        if not data:
            return
        for event in conn.receive_data(data):
            if isinstance(event, h2.events.RequestReceived):
                s = event.stream_id
                hdrs = dict(event.headers)
                method = hdrs.get(":method")
                if mode == "rst_cancel":
                    conn.reset_stream(s, error_code=8)
                elif mode == "ping7":
                    sock.sendall(conn.data_to_send() + raw_frame(6, 0, 0, b"1234567"))
                elif mode == "push":
                    conn.push_stream(s, 2, [(":method", "GET"), (":scheme", "https"),
                                            (":authority", "127.0.0.1"), (":path", "/pushed")])
                    respond(s, 200, b"hello", [("content-type", "text/plain")])
                elif mode == "big_headers":
                    block = b"\x88" + b"\x00\x05x-big" + hpack_int(300000, 7) + b"b" * 300000
                    frames = b""
                    for i in range(0, len(block), 16384):
                        piece = block[i:i + 16384]
                        flags = 0x4 if i + 16384 >= len(block) else 0
                        frames += raw_frame(1 if i == 0 else 9, flags, s, piece)
                    sock.sendall(conn.data_to_send() + frames)
                elif mode in ("crlf_cookie", "nul_location"):
                    # Literal fields without indexing, written by hand: the
                    # library refuses to send such values.
                    name, value = {"crlf_cookie": (b"set-cookie", b"a=1\r\nX-Injected: 1"),
                                   "nul_location": (b"location", b"/ok\x00x")}[mode]
                    block = (b"\x88" + b"\x00" + hpack_int(len(name), 7) + name +
                             hpack_int(len(value), 7) + value)
                    sock.sendall(conn.data_to_send() + raw_frame(1, 0x5, s, block))
                elif mode == "gzip":
                    body = gzip.compress(b"hello gzip\n" * 100)
                    respond(s, 200, body, [("content-encoding", "gzip"),
                                           ("content-type", "text/plain")])
                elif method in ("POST", "PUT"):
                    body_len[s] = 0
                    if event.stream_ended is not None:
                        respond(s, 200, b"received 0")
                elif mode in ("ok", "window0"):
                    respond(s, 200, b"hello", [("content-type", "text/plain")])
            elif isinstance(event, h2.events.DataReceived):
                body_len[event.stream_id] = body_len.get(event.stream_id, 0) + len(event.data)
                if mode != "window0":
                    conn.acknowledge_received_data(event.flow_controlled_length, event.stream_id)
            elif isinstance(event, h2.events.StreamEnded):
                s = event.stream_id
                if s in body_len and mode in ("ok", "window0"):
                    respond(s, 200, b"received %d" % body_len[s])
        out = conn.data_to_send()
        if out:
            sock.sendall(out)


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--mode", default="ok")
    ap.add_argument("--cert")
    ap.add_argument("--key")
    args = ap.parse_args()
    context = None
    if args.cert:
        context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
        context.load_cert_chain(args.cert, args.key)
        context.set_alpn_protocols(["h2"])
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
    listener.bind(("127.0.0.1", 0))
    listener.listen(8)
    print("PORT %d" % listener.getsockname()[1], flush=True)
    # The test owns the process: it ends when the test closes our stdin.
    threading.Thread(target=lambda: (sys.stdin.read(), listener.close(),
                                     __import__("os")._exit(0)), daemon=True).start()
    while True:
        client, _ = listener.accept()
        try:
            if context is not None:
                client = context.wrap_socket(client, server_side=True)
            serve(client, args.mode)
        except (OSError, ssl.SSLError, h2.exceptions.ProtocolError):
            pass
        finally:
            client.close()


if __name__ == "__main__":
    main()
