#!/usr/bin/python3
"""Scripted firewall for the client tests: SOCKS 4, SOCKS 5 and HTTP CONNECT
on one port (the first byte tells them apart).

Listens on 127.0.0.1 port 0 and prints the port on the first line of stdout.
The destination port the client asks for chooses the answer, so a test can
reach every reply code:
  SOCKS 4  result byte  = port - 9000 (9090 grants)
  SOCKS 5  reply code   = port - 9000 (9000 grants); the method chosen is 2
           whenever the client offers it, and only user "good" with
           password "pw" passes
  CONNECT  status code  = port - 9000 (9200 grants; 9999 never answers)
Every reply goes out one byte per send, so the client meets it split across
reads. After a grant "BANNER\\r\\n" follows in the same breath (a server that
speaks first), then each line received is answered with "echo:" + line.
Standard library only.
"""
import os
import socket
import socketserver
import struct
import sys
import time

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "http"))
import loopback_server  # noqa: E402


def dribble(sock, data):
    for i in range(len(data)):
        sock.sendall(data[i:i + 1])
        time.sleep(0.002)


def read_exact(rfile, n):
    data = rfile.read(n)
    if len(data) != n:
        raise EOFError
    return data


class Handler(socketserver.StreamRequestHandler):
    def handle(self):
        self.request.setsockopt(socket.IPPROTO_TCP, socket.TCP_NODELAY, 1)
        try:
            first = read_exact(self.rfile, 1)
            if first == b"\x04":
                granted = self.socks4()
            elif first == b"\x05":
                granted = self.socks5()
            else:
                granted = self.connect(first)
        except (EOFError, OSError):
            # The client may give up as soon as it has read the reply code.
            return
        if not granted:
            time.sleep(0.2)
            return
        try:
            for line in self.rfile:
                self.wfile.write(b"echo:" + line)
                self.wfile.flush()
        except OSError:
            pass

    def socks4(self):
        _, port, _ = struct.unpack(">BH4s", read_exact(self.rfile, 7))
        while read_exact(self.rfile, 1) != b"\x00":
            pass
        result = (port - 9000) & 0xFF
        reply = bytes([0, result]) + b"\x00" * 6
        dribble(self.request, reply[:-1])
        self.request.sendall(reply[-1:] + (b"BANNER\r\n" if result == 90 else b""))
        return result == 90

    def socks5(self):
        count = read_exact(self.rfile, 1)[0]
        methods = read_exact(self.rfile, count)
        method = 2 if 2 in methods else 0
        dribble(self.request, bytes([5, method]))
        if method == 2:
            read_exact(self.rfile, 1)
            user = read_exact(self.rfile, read_exact(self.rfile, 1)[0])
            password = read_exact(self.rfile, read_exact(self.rfile, 1)[0])
            ok = user == b"good" and password == b"pw"
            dribble(self.request, b"\x01" + (b"\x00" if ok else b"\x01"))
            if not ok:
                return False
        _, _, _, atyp = read_exact(self.rfile, 4)
        if atyp == 1:
            read_exact(self.rfile, 4)
        elif atyp == 3:
            read_exact(self.rfile, read_exact(self.rfile, 1)[0])
        else:
            read_exact(self.rfile, 16)
        port = struct.unpack(">H", read_exact(self.rfile, 2))[0]
        code = (port - 9000) & 0xFF
        reply = bytes([5, code, 0, 1, 127, 0, 0, 1]) + struct.pack(">H", port)
        dribble(self.request, reply[:-1])
        self.request.sendall(reply[-1:] + (b"BANNER\r\n" if code == 0 else b""))
        return code == 0

    def connect(self, first):
        head = first
        while not head.endswith(b"\r\n\r\n"):
            head += read_exact(self.rfile, 1)
        target = head.split(b" ")[1]
        status = int(target.rsplit(b":", 1)[1]) - 9000
        if status == 999:
            self.rfile.read()  # until the client gives up
            return False
        if status == 200:
            reply = b"HTTP/1.1 200 Connection established\r\nX-Proxy: scripted\r\n\r\n"
        else:
            reply = b"HTTP/1.1 %d Refused by script\r\nContent-Length: 0\r\n\r\n" % status
        dribble(self.request, reply[:-1])
        self.request.sendall(reply[-1:] + (b"BANNER\r\n" if status == 200 else b""))
        return status == 200


if __name__ == "__main__":
    loopback_server.serve(Handler)
