#!/usr/bin/python3
"""An HTTPS server that accepts Negotiate and NTLM through GSSAPI (python3-
gssapi on MIT krb5 and gss-ntlmssp), for what Apache cannot show: channel
bindings checked by the acceptor, and a final token that does not prove the
server. Usage: gss_acceptor_server.py CERT KEY NTLM_USERS; prints its port.
  /kerberos       Negotiate (keytab from KRB5_KTNAME): 200, the principal in
                  the body, the real final token.
  /forged         as /kerberos with one byte of the final token changed.
  /ntlm-bound     NTLM; expects the tls-server-end-point bindings of its own
                  certificate.  /ntlm-misbound: bindings of other data.
"""
import base64
import hashlib
import http.server
import os
import socketserver
import ssl
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import loopback_server  # noqa: E402

cert_file, key_file, users_file = sys.argv[1:4]
os.environ["NTLM_USER_FILE"] = users_file

import gssapi  # noqa: E402  (reads NTLM_USER_FILE when it acquires)
import gssapi.raw  # noqa: E402

NTLMSSP = gssapi.OID.from_int_seq("1.3.6.1.4.1.311.2.2.10")


def end_point_bindings(data):
    # The certificate is signed with SHA-256: the bindings hash it with SHA-256.
    return gssapi.raw.ChannelBindings(application_data=b"tls-server-end-point:" + hashlib.sha256(data).digest())


with open(cert_file) as f:
    GOOD = end_point_bindings(ssl.PEM_cert_to_DER_cert(f.read()))
BAD = end_point_bindings(b"another certificate")


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"

    def log_message(self, fmt, *args):
        pass

    def reply(self, status, body, challenge=None):
        data = body.encode()
        self.send_response(status)
        if challenge is not None:
            self.send_header("WWW-Authenticate", challenge)
        self.send_header("Content-Length", str(len(data)))
        self.end_headers()
        self.wfile.write(data)

    def do_GET(self):
        word, _, token = self.headers.get("Authorization", "").partition(" ")
        ctx, self.ctx = getattr(self, "ctx", None), None
        if word not in ("Negotiate", "NTLM") or not token:
            self.reply(401, "authentication required\n", "NTLM" if self.path.startswith("/ntlm") else "Negotiate")
            return
        message = base64.b64decode(token)
        try:
            if not self.path.startswith("/ntlm"):
                ctx = gssapi.SecurityContext(usage="accept")
                final = ctx.step(message)
                if self.path == "/forged":
                    final = final[:-5] + bytes([final[-5] ^ 0x01]) + final[-4:]
                self.reply(200, "principal=%s\n" % ctx.initiator_name, "Negotiate " + base64.b64encode(final).decode())
            elif message[8:9] == b"\x01":
                creds = gssapi.Credentials(usage="accept", mechs=[NTLMSSP])
                bindings = GOOD if self.path == "/ntlm-bound" else BAD
                self.ctx = gssapi.SecurityContext(creds=creds, usage="accept", channel_bindings=bindings)
                challenge = self.ctx.step(message)
                self.reply(401, "challenge\n", word + " " + base64.b64encode(challenge).decode())
            elif ctx is None:
                self.reply(401, "no challenge on this connection\n", word)
            else:
                ctx.step(message)
                self.reply(200, "authenticated as %s\n" % str(ctx.initiator_name).rstrip("\0"))
        except gssapi.exceptions.GSSError as e:
            self.ctx = None
            self.reply(401, "rejected: %s\n" % e, word)


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


def wrap_in_tls(server):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    context.load_cert_chain(cert_file, key_file)
    server.socket = context.wrap_socket(server.socket, server_side=True)


if __name__ == "__main__":
    loopback_server.serve(Handler, wrap_in_tls, Server)
