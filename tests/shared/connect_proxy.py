"""A small HTTP proxy that only tunnels (CONNECT), for tests.

    python3 connect_proxy.py [--port N]

It accepts "CONNECT host:port" and relays bytes both ways. It reaches only
the loopback interface: names under ".test" (reserved, never resolvable
elsewhere) and "localhost" mean 127.0.0.1, so a client that reaches
release.velto.test at all must have gone through the proxy. Any other
request gets 405, any other target 403.
"""

import argparse
import select
import socket
import socketserver
import threading

LOOPBACK = "127.0.0.1"


def _target_address(host):
    host = host.strip("[]").lower()
    if host.endswith(".test") or host in ("localhost", LOOPBACK):
        return LOOPBACK
    return None


def _read_head(connection):
    head = b""
    while b"\r\n\r\n" not in head:
        data = connection.recv(4096)
        if not data:
            return None
        head += data
        if len(head) > 65536:
            return None
    return head


def _relay(first, second):
    sockets = [first, second]
    while True:
        readable, _, _ = select.select(sockets, [], [])
        for source in readable:
            data = source.recv(262144)
            if not data:
                return
            (second if source is first else first).sendall(data)


class _TunnelHandler(socketserver.BaseRequestHandler):
    def handle(self):
        head = _read_head(self.request)
        if head is None:
            return
        parts = head.split(b"\r\n", 1)[0].decode("latin-1").split()
        if len(parts) != 3 or parts[0] != "CONNECT":
            self.request.sendall(b"HTTP/1.1 405 Method Not Allowed\r\nContent-Length: 0\r\n\r\n")
            return
        host, _, port = parts[1].rpartition(":")
        address = _target_address(host)
        if address is None or not port.isdigit():
            self.request.sendall(b"HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n")
            return
        try:
            upstream = socket.create_connection((address, int(port)), timeout=10)
        except OSError:
            self.request.sendall(b"HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n")
            return
        with upstream:
            upstream.settimeout(None)
            self.server.tunnels += 1
            self.request.sendall(b"HTTP/1.1 200 Connection established\r\n\r\n")
            try:
                _relay(self.request, upstream)
            except OSError:
                pass


class ConnectProxy(socketserver.ThreadingTCPServer):
    daemon_threads = True
    allow_reuse_address = True

    def __init__(self, host=LOOPBACK, port=0):
        super().__init__((host, port), _TunnelHandler)
        self.tunnels = 0

    @property
    def port(self):
        return self.server_address[1]


def start_connect_proxy(host=LOOPBACK, port=0):
    """Starts the proxy on a thread of its own and returns it."""
    proxy = ConnectProxy(host, port)
    threading.Thread(target=proxy.serve_forever, daemon=True).start()
    return proxy


if __name__ == "__main__":
    parser = argparse.ArgumentParser(description="CONNECT-only test proxy on loopback")
    parser.add_argument("--port", type=int, default=0)
    arguments = parser.parse_args()
    server = ConnectProxy(port=arguments.port)
    print(f"proxy listening on {LOOPBACK}:{server.port}", flush=True)
    server.serve_forever()
