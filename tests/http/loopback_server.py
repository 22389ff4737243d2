"""The run loop every scripted test server shares: listen on 127.0.0.1 port
0, print the port on the first line of stdout, serve each connection on its
own thread, and stop when the test closes our standard input."""
import socketserver
import sys
import threading


class Server(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True


def serve(handler, prepare=None, server_class=Server):
    """prepare(server), when given, runs before the port is printed (to wrap
    the listening socket in TLS, say)."""
    server = server_class(("127.0.0.1", 0), handler)
    if prepare is not None:
        prepare(server)
    print(server.server_address[1], flush=True)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    sys.stdin.read()
    server.shutdown()
