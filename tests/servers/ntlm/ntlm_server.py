#!/usr/bin/python3
"""HTTP server authenticating NTLM through the GSSAPI NTLMSSP acceptor
(gss-ntlmssp), so the client's messages are checked by another
implementation. One acceptor context per connection: no credentials get 401
"WWW-Authenticate: NTLM", a negotiate message the acceptor's challenge, an
authenticate message 200 when the acceptor takes it. "Negotiate" is taken in
place of "NTLM" and answered with the same word. Users come from the file
named by NTLM_USER_FILE (DOMAIN:USER:PASSWORD lines).

Usage: ntlm_server.py PORT
"""
import base64
import binascii
import http.server
import socketserver
import sys

import gssapi

NTLMSSP_OID = gssapi.OID.from_int_seq("1.3.6.1.4.1.311.2.2.10")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    ctx = None

    def log_message(self, fmt, *args):  # keep the test output quiet
        pass

    def reply(self, status, body, challenge=None):
        data = body.encode()
        self.send_response(status)
        if challenge is not None:
            self.send_header("WWW-Authenticate", challenge)
        self.send_header("Content-Type", "text/plain")
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        if self.command != "HEAD":
            self.wfile.write(data)

    def handle_any(self):
        received = int(self.headers.get("Content-Length") or 0)
        self.rfile.read(received)
        word, _, token = self.headers.get("Authorization", "").partition(" ")
        try:
            message = base64.b64decode(token.strip(), validate=True)
        except binascii.Error:
            message = b""
        ctx, self.ctx = self.ctx, None
        if word.lower() not in ("ntlm", "negotiate") or message[:8] != b"NTLMSSP\0":
            self.reply(401, "NTLM authentication required\n", "NTLM")
            return
        try:
            if message[8:12] == b"\x01\0\0\0":
                creds = gssapi.Credentials(usage="accept", mechs=[NTLMSSP_OID])
                self.ctx = gssapi.SecurityContext(creds=creds, usage="accept")
                challenge = self.ctx.step(message)
                self.reply(401, "challenge\n", word + " " + base64.b64encode(challenge).decode())
            elif ctx is None:
                self.reply(401, "authenticate message without a challenge on this connection\n", word)
            else:
                ctx.step(message)
                if ctx.complete:
                    self.reply(200, "authenticated as %s; %s %s; %d body bytes\n"
                               % (str(ctx.initiator_name).rstrip("\0"), self.command, self.path, received))
                else:
                    self.reply(401, "context not complete\n", word)
        except gssapi.exceptions.GSSError as e:
            self.ctx = None
            self.reply(401, "rejected: %s\n" % e, word)

    do_GET = do_POST = do_PUT = do_DELETE = do_HEAD = handle_any


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True
    allow_reuse_address = True


if __name__ == "__main__":
    Server(("127.0.0.1", int(sys.argv[1])), Handler).serve_forever()
