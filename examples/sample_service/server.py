#!/usr/bin/env python3
"""A small REST service for trying the client: XML and JSON resources, an echo.

    server.py [--port N] [--port-file FILE]

Listens on 127.0.0.1 (port 0 picks a free one); prints "listening on PORT" and
writes the port to --port-file when given. Endpoints:
    GET    /books.xml        the catalogue as XML (namespaces, attributes)
    GET    /books.json       the catalogue as JSON
    GET    /books/N.json     one book
    POST   /echo             answers the request body with the request's Content-Type
    PUT    /books/N.json     stores a book (any JSON body) and answers it back
    DELETE /books/N.json     removes a book (204)
    GET    /fault.xml        200 with an <error> element inside
    GET    /missing.xml      404 with an XML error document
    GET    /login            sets a cookie
    GET    /whoami           echoes the Cookie header back as JSON
    GET    /old-books        302 to /books.json
    GET    /notes.txt        plain text
"""
import argparse
import json
import threading
from http.server import BaseHTTPRequestHandler, ThreadingHTTPServer

BOOKS = {
    1: {"id": 1, "title": "The Art of Networking", "author": "A. Writer", "year": 2019, "tags": ["net", "tcp"]},
    2: {"id": 2, "title": "Parsing by Hand", "author": "B. Reader", "year": 2021, "tags": ["xml", "json"]},
    3: {"id": 3, "title": "Secure Channels", "author": "C. Keeper", "year": 2023, "tags": ["tls"]},
}
LOCK = threading.Lock()


def books_xml():
    rows = []
    for b in BOOKS.values():
        tags = "".join(f"<tag>{t}</tag>" for t in b["tags"])
        rows.append(
            f'  <cat:book id="{b["id"]}" year="{b["year"]}">\n'
            f'    <cat:title>{b["title"]}</cat:title>\n'
            f'    <cat:author>{b["author"]}</cat:author>\n'
            f'    <tags>{tags}</tags>\n'
            f'  </cat:book>\n')
    return ('<?xml version="1.0" encoding="UTF-8"?>\n'
            '<catalogue xmlns:cat="urn:example:catalogue" count="%d">\n%s</catalogue>\n'
            % (len(BOOKS), "".join(rows)))


class Handler(BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "SampleBooks/1.0"

    def log_message(self, fmt, *args):  # quiet
        pass

    def send_body(self, status, content_type, body, headers=()):
        data = body.encode() if isinstance(body, str) else body
        self.send_response(status)
        if content_type:
            self.send_header("Content-Type", content_type)
        for k, v in headers:
            self.send_header(k, v)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    def read_body(self):
        n = int(self.headers.get("Content-Length") or 0)
        if n:
            return self.rfile.read(n)
        if self.headers.get("Transfer-Encoding", "").lower() == "chunked":
            out = b""
            while True:
                size = int(self.rfile.readline().split(b";")[0], 16)
                if size == 0:
                    while self.rfile.readline() not in (b"\r\n", b"\n", b""):
                        pass
                    return out
                out += self.rfile.read(size)
                self.rfile.readline()
        return b""

    def book_id(self):
        try:
            return int(self.path.rsplit("/", 1)[1].split(".")[0])
        except (IndexError, ValueError):
            return None

    def do_GET(self):
        p = self.path.split("?")[0]
        with LOCK:
            if p == "/books.xml":
                return self.send_body(200, "application/xml; charset=utf-8", books_xml())
            if p == "/books.json":
                return self.send_body(200, "application/json; charset=utf-8",
                                      json.dumps({"count": len(BOOKS), "books": list(BOOKS.values())}, indent=2))
            if p.startswith("/books/") and p.endswith(".json"):
                b = BOOKS.get(self.book_id())
                if b is None:
                    return self.send_body(404, "application/json", json.dumps({"error": "no such book"}))
                return self.send_body(200, "application/json", json.dumps(b))
        if p == "/fault.xml":
            return self.send_body(200, "text/xml", "<reply><error code=\"42\">quota exceeded</error></reply>")
        if p == "/missing.xml":
            return self.send_body(404, "text/xml", "<problem><reason>not here</reason></problem>")
        if p == "/login":
            return self.send_body(200, "application/json", '{"ok":true}',
                                  [("Set-Cookie", "session=s3cr3t==; Path=/; HttpOnly")])
        if p == "/whoami":
            return self.send_body(200, "application/json", json.dumps({"cookie": self.headers.get("Cookie", "")}))
        if p == "/old-books":
            return self.send_body(302, "text/plain", "moved", [("Location", "/books.json")])
        if p == "/notes.txt":
            return self.send_body(200, "text/plain", "plain text, not parsed\n")
        return self.send_body(404, "text/plain", "not found\n")

    do_HEAD = do_GET

    def do_POST(self):
        body = self.read_body()
        if self.path.split("?")[0] == "/echo":
            return self.send_body(200, self.headers.get("Content-Type", "application/octet-stream"), body)
        return self.send_body(404, "text/plain", "not found\n")

    def do_PUT(self):
        body = self.read_body()
        bid = self.book_id()
        try:
            doc = json.loads(body or b"{}")
        except ValueError:
            return self.send_body(400, "application/json", '{"error":"bad json"}')
        with LOCK:
            BOOKS[bid] = doc
        return self.send_body(200, "application/json", json.dumps(doc))

    def do_DELETE(self):
        with LOCK:
            BOOKS.pop(self.book_id(), None)
        return self.send_body(204, None, b"")


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--port", type=int, default=0)
    ap.add_argument("--port-file")
    args = ap.parse_args()
    server = ThreadingHTTPServer(("127.0.0.1", args.port), Handler)
    port = server.server_address[1]
    if args.port_file:
        with open(args.port_file, "w") as f:
            f.write(str(port))
    print(f"listening on {port}", flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass


if __name__ == "__main__":
    main()
