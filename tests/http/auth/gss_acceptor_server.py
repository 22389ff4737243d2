#!/usr/bin/python3
"""gss_acceptor_server.py CERT KEY NTLM_USERS: an HTTPS acceptor (python3-gssapi)
for what Apache cannot show. /kerberos: Negotiate (keytab of KRB5_KTNAME), the
principal and the real final token; /forged: that token with a byte changed.
/ntlm-bound, /ntlm-misbound: NTLM expecting its own certificate's bindings, or other ones."""
import base64
import hashlib
import http.server
import os
import ssl
import sys

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), ".."))
import loopback_server  # noqa: E402

cert_file, key_file, os.environ["NTLM_USER_FILE"] = sys.argv[1:4]
import gssapi  # noqa: E402  (reads NTLM_USER_FILE when it acquires)


def end_point(data):  # the certificate is signed with SHA-256, so it is hashed with SHA-256
    return gssapi.raw.ChannelBindings(application_data=b"tls-server-end-point:" + hashlib.sha256(data).digest())


with open(cert_file) as f:
    BINDINGS = {"/ntlm-bound": end_point(ssl.PEM_cert_to_DER_cert(f.read())), "/ntlm-misbound": end_point(b"other")}


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    ctx = None  # an NTLM exchange waiting for its authenticate message

    def log_message(self, *args):
        pass

    def reply(self, status, body, challenge=None):
        self.send_response(status)
        if challenge:
            self.send_header("WWW-Authenticate", challenge)
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        self.wfile.write(body.encode())

    def do_GET(self):
        word, _, token = self.headers.get("Authorization", "").partition(" ")
        ctx, self.ctx = self.ctx, None
        ntlm = self.path in BINDINGS
        if not token:
            self.reply(401, "authentication required\n", "NTLM" if ntlm else "Negotiate")
            return
        message = base64.b64decode(token)
        try:
            if not ntlm:
                ctx = gssapi.SecurityContext(usage="accept")
                final = bytearray(ctx.step(message))
                if self.path == "/forged":
                    final[-5] ^= 1
                self.reply(200, "principal=%s\n" % ctx.initiator_name, "Negotiate " + base64.b64encode(final).decode())
            elif ctx is None:
                creds = gssapi.Credentials(usage="accept", mechs=[gssapi.OID.from_int_seq("1.3.6.1.4.1.311.2.2.10")])
                self.ctx = gssapi.SecurityContext(creds=creds, usage="accept", channel_bindings=BINDINGS[self.path])
                self.reply(401, "challenge\n", word + " " + base64.b64encode(self.ctx.step(message)).decode())
            else:
                ctx.step(message)
                self.reply(200, "authenticated as %s\n" % str(ctx.initiator_name).rstrip("\0"))
        except gssapi.exceptions.GSSError as e:
            self.reply(401, "rejected: %s\n" % e, word)


if __name__ == "__main__":
    tls = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    tls.load_cert_chain(cert_file, key_file)
    loopback_server.serve(Handler, lambda server: setattr(server, "socket", tls.wrap_socket(server.socket, True)))
