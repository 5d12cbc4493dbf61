"""A hostile local HTTPS release server, for tests and demonstrations.

    python3 release_server.py --ready-file FILE [--cert-dir DIR]
                              [--release-dir DIR] [--watch-stdin]

Everything listens on 127.0.0.1, on ephemeral ports. Certificates come from
../shared/test_pki.py (made in --cert-dir if missing there, else in a fresh
temporary directory). Once all ports listen, FILE receives (atomically) a
JSON object:

  {"pid": ..., "host": "localhost", "ca_file": ".../root-ca.pem",
   "cert_dir": "...", "base_url": "https://localhost:PORT",
   "proxy_only_host": "release.velto.test",
   "ports": {"https": .., "http": .., "expired": .., "wrong_host": ..,
             "self_signed": .., "unknown_root": .., "missing_intermediate": ..,
             "tls10": .., "silent": .., "garbage": .., "refused": ..,
             "backlog_full": .., "proxy": ..}}

Ports:
  https                 the good chain (leaf for localhost, 127.0.0.1 and
                        release.velto.test, plus intermediate), TLS 1.2+
  http                  the same paths in plain HTTP
  expired, wrong_host, self_signed, unknown_root, missing_intermediate
                        the same paths behind a certificate to refuse
  tls10                 the good chain, but TLS 1.0 only
  silent                accepts connections and never sends a byte
  garbage               answers a connection with bytes that are not TLS
  refused               bound but not listening: connections are refused
  backlog_full          listening, but its accept queue is full: a connect
                        gets no answer at all
  proxy                 a CONNECT proxy (connect_proxy.py); only through it
                        does release.velto.test reach this server

Paths (GET) on every HTTP(S) port; body bytes are a deterministic pattern,
byte i of a body being i % 251:
  /bytes/N                   N bytes with Content-Length
  /endless                   a body that never ends (no length, no chunks)
  /chunked/N?sizes=A,B,..    N bytes chunked, chunk sizes cycling A, B, ..
  /chunked-truncated/N       N bytes of chunks, then closed without the
                             last chunk
  /lying-length/N            Content-Length N, N/2 bytes, then a clean close
  /drop/N                    Content-Length N, N/2 bytes, then a reset
  /reset-before-response     a reset instead of a response
  /empty-reply               closed without any response
  /garbage-http              bytes that are no HTTP response
  /status/CODE               that status; 204 and 304 without body; a 1xx
                             code is sent as an interim response followed
                             by 200 with the body "after CODE"
  /redirect/CODE?to=TARGET   CODE with Location: TARGET, as given
                             (absolute or relative)
  /redirect-chain/N          N redirects (302, relative), then 200 with the
                             body "chain end"
  /redirect-loop             redirects to itself, forever
  /drip/N?interval_ms=MS     Content-Length N, one byte every MS (1000)
  /stall/N                   Content-Length 2N, N bytes, then silence
  /hang                      reads the request, never answers
  /echo-request              200 with three lines: the request target, the
                             User-Agent and the Accept header ("-" if none)
  anything else              the file at that path under --release-dir, or
                             404

--watch-stdin ends the server when its standard input closes, so a parent
that dies takes the server with it. SIGTERM and SIGINT end it as well.
"""

import argparse
import http.server
import json
import os
import signal
import socket
import socketserver
import ssl
import struct
import sys
import threading
import time
import urllib.parse
import warnings

sys.dont_write_bytecode = True  # nothing written into the source tree
import connect_proxy  # noqa: E402
import test_pki  # noqa: E402

LOOPBACK = "127.0.0.1"
PROXY_ONLY_HOST = "release.velto.test"
PATTERN_PERIOD = 251
# Whole periods, so consecutive blocks continue the pattern.
PATTERN_BLOCK = bytes(i % PATTERN_PERIOD for i in range(PATTERN_PERIOD * 4096))


def pattern(offset, length):
    """Bytes offset .. offset+length of the pattern (length <= one block)."""
    start = offset % PATTERN_PERIOD
    return memoryview(PATTERN_BLOCK)[start:start + length]


def reset_connection(connection):
    """Closes with a TCP reset instead of an orderly end."""
    try:
        connection.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, struct.pack("ii", 1, 0))
    except OSError:
        pass
    connection.close()


def wait_for_peer_close(connection, limit_seconds=600):
    """Waits, sending nothing, until the client closes or the limit passes."""
    connection.settimeout(1)
    deadline = time.monotonic() + limit_seconds
    while time.monotonic() < deadline:
        try:
            if not connection.recv(1024):
                return
        except socket.timeout:
            continue
        except (OSError, ssl.SSLError):
            return


class ReleaseHandler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    server_version = "VeltoTestServer/1.0"

    def log_message(self, format, *args):  # noqa: A002 - quiet unless asked
        if self.server.verbose:
            super().log_message(format, *args)

    # -- helpers ---------------------------------------------------------
    def start(self, code, length=None, headers=()):
        self.send_response(code)
        for name, value in headers:
            self.send_header(name, value)
        if length is not None:
            self.send_header("Content-Length", str(length))
        self.send_header("Connection", "close")
        self.end_headers()
        self.close_connection = True

    def send_pattern(self, total, offset=0):
        while total > 0:
            piece = min(total, len(PATTERN_BLOCK) - PATTERN_PERIOD)
            self.wfile.write(pattern(offset, piece))
            offset += piece
            total -= piece

    def send_text(self, code, text, headers=()):
        body = text.encode()
        self.start(code, len(body), headers)
        self.wfile.write(body)

    # -- routes ----------------------------------------------------------
    def route_bytes(self, count):
        self.start(200, count, [("Content-Type", "application/octet-stream")])
        self.send_pattern(count)

    def route_endless(self):
        self.start(200)
        offset = 0
        while True:
            self.wfile.write(pattern(offset, len(PATTERN_BLOCK) - PATTERN_PERIOD))
            offset += len(PATTERN_BLOCK) - PATTERN_PERIOD

    def send_chunks(self, count, sizes):
        offset = 0
        index = 0
        while offset < count:
            size = min(sizes[index % len(sizes)], count - offset)
            self.wfile.write(b"%x\r\n" % size + bytes(pattern(offset, size)) + b"\r\n")
            offset += size
            index += 1

    def route_chunked(self, count, query, complete=True):
        sizes = [int(s) for s in query.get("sizes", ["1,7,100,4096,65536,3"])[0].split(",") if int(s) > 0]
        self.start(200, headers=[("Transfer-Encoding", "chunked")])
        self.send_chunks(count, sizes)
        if complete:
            self.wfile.write(b"0\r\n\r\n")

    def route_short_body(self, count, reset):
        self.start(200, count)
        self.send_pattern(count // 2)
        if reset:
            reset_connection(self.connection)

    def route_status(self, code):
        if 100 <= code <= 199:
            self.wfile.write(b"HTTP/1.1 %d Interim\r\n\r\n" % code)
            self.send_text(200, f"after {code}")
        elif code in (204, 304):
            self.start(code)
        else:
            self.send_text(code, f"status {code}\n")

    def route_redirect(self, code, query):
        self.send_text(code, "moved\n", [("Location", query.get("to", ["/"])[0])])

    def route_redirect_chain(self, remaining):
        if remaining <= 0:
            self.send_text(200, "chain end")
        else:
            self.send_text(302, "moved\n", [("Location", f"/redirect-chain/{remaining - 1}")])

    def route_drip(self, count, query):
        interval = int(query.get("interval_ms", ["1000"])[0]) / 1000.0
        self.start(200, count)
        for offset in range(count):
            self.wfile.write(pattern(offset, 1))
            time.sleep(interval)

    def route_stall(self, count):
        self.start(200, 2 * count)
        self.send_pattern(count)
        wait_for_peer_close(self.connection)

    def route_echo_request(self):
        lines = [self.path, self.headers.get("User-Agent", "-"), self.headers.get("Accept", "-")]
        self.send_text(200, "\n".join(lines))

    def route_release_file(self, path):
        root = self.server.release_dir
        if root is None:
            self.send_text(404, "not found\n")
            return
        relative = urllib.parse.unquote(path).lstrip("/")
        target = os.path.realpath(os.path.join(root, relative))
        if not target.startswith(root + os.sep) or not os.path.isfile(target):
            self.send_text(404, "not found\n")
            return
        with open(target, "rb") as source:
            data = source.read()
        self.start(200, len(data), [("Content-Type", "application/octet-stream")])
        self.wfile.write(data)

    def dispatch(self, path, query):
        parts = path.strip("/").split("/")
        head = parts[0]
        number = int(parts[1]) if len(parts) == 2 and parts[1].isdigit() else None
        numbered = {
            "bytes": lambda: self.route_bytes(number),
            "chunked": lambda: self.route_chunked(number, query),
            "chunked-truncated": lambda: self.route_chunked(number, query, complete=False),
            "lying-length": lambda: self.route_short_body(number, reset=False),
            "drop": lambda: self.route_short_body(number, reset=True),
            "status": lambda: self.route_status(number),
            "redirect": lambda: self.route_redirect(number, query),
            "redirect-chain": lambda: self.route_redirect_chain(number),
            "drip": lambda: self.route_drip(number, query),
            "stall": lambda: self.route_stall(number),
        }
        plain = {
            "endless": self.route_endless,
            "reset-before-response": lambda: reset_connection(self.connection),
            "empty-reply": lambda: None,
            "garbage-http": lambda: self.wfile.write(b"this is no HTTP response\r\n\r\n\x00\xff"),
            "redirect-loop": lambda: self.send_text(302, "moved\n", [("Location", "/redirect-loop")]),
            "hang": lambda: wait_for_peer_close(self.connection),
            "echo-request": self.route_echo_request,
        }
        if head in numbered and number is not None:
            numbered[head]()
        elif head in plain and len(parts) == 1:
            self.close_connection = True
            plain[head]()
        else:
            self.route_release_file(path)

    def do_GET(self):  # noqa: N802 - the name http.server calls
        url = urllib.parse.urlsplit(self.path)
        try:
            self.dispatch(url.path, urllib.parse.parse_qs(url.query))
        except (ConnectionError, ssl.SSLError, OSError):
            self.close_connection = True


class ReleaseServer(socketserver.ThreadingMixIn, http.server.HTTPServer):
    """Serves ReleaseHandler, with TLS when given a context. The handshake
    runs on the connection's own thread, so a client that never completes
    it holds up no one else."""

    daemon_threads = True
    block_on_close = False

    def __init__(self, context, release_dir, verbose):
        super().__init__((LOOPBACK, 0), ReleaseHandler)
        self.context = context
        self.release_dir = os.path.realpath(release_dir) if release_dir else None
        self.verbose = verbose

    def finish_request(self, request, client_address):
        if self.context is None:
            super().finish_request(request, client_address)
            return
        try:
            request.settimeout(60)
            secure = self.context.wrap_socket(request, server_side=True)
            secure.settimeout(None)
        except (ssl.SSLError, OSError):
            return
        try:
            super().finish_request(secure, client_address)
        except (ConnectionError, ssl.SSLError, OSError):
            pass
        finally:
            secure.close()

    @property
    def port(self):
        return self.server_address[1]


class _SilentHandler(socketserver.BaseRequestHandler):
    def handle(self):
        wait_for_peer_close(self.request)


class _GarbageHandler(socketserver.BaseRequestHandler):
    def handle(self):
        self.request.sendall(b"SSH-2.0-not-tls\r\n" + bytes(range(256)) * 4)
        wait_for_peer_close(self.request, limit_seconds=5)


class RawServer(socketserver.ThreadingTCPServer):
    daemon_threads = True
    block_on_close = False

    def __init__(self, handler):
        super().__init__((LOOPBACK, 0), handler)

    @property
    def port(self):
        return self.server_address[1]


def tls_context(cert_dir, chain, key, tls10_only=False):
    context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
    if tls10_only:
        context.set_ciphers("DEFAULT:@SECLEVEL=0")
        with warnings.catch_warnings():
            warnings.simplefilter("ignore", DeprecationWarning)  # deprecated is the point
            context.minimum_version = ssl.TLSVersion.TLSv1
            context.maximum_version = ssl.TLSVersion.TLSv1
    context.load_cert_chain(os.path.join(cert_dir, chain), os.path.join(cert_dir, key))
    return context


def reserve_refused_port():
    """A port that is bound but not listening, so connecting is refused."""
    sock = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    sock.bind((LOOPBACK, 0))
    return sock


def fill_backlog_port():
    """A listening port whose accept queue is full and never drained: the
    kernel drops further SYNs, so a connect neither succeeds nor fails.
    Returns the listening socket and the connections that fill it."""
    listener = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
    listener.bind((LOOPBACK, 0))
    listener.listen(0)
    fillers = []
    for _ in range(4):
        filler = socket.socket(socket.AF_INET, socket.SOCK_STREAM)
        filler.setblocking(False)
        filler.connect_ex(listener.getsockname())
        fillers.append(filler)
    time.sleep(0.2)
    return listener, fillers


def start_servers(cert_dir, release_dir=None, verbose=False):
    """Starts every port on threads of its own. Returns (ports, keep), keep
    holding the objects that must stay alive."""
    contexts = {
        "https": tls_context(cert_dir, "server-chain.pem", "server.key"),
        "http": None,
        "expired": tls_context(cert_dir, "expired-chain.pem", "expired.key"),
        "wrong_host": tls_context(cert_dir, "wrong-host-chain.pem", "wrong-host.key"),
        "self_signed": tls_context(cert_dir, "self-signed.pem", "self-signed.key"),
        "unknown_root": tls_context(cert_dir, "unknown-root-leaf.pem", "unknown-root-leaf.key"),
        "missing_intermediate": tls_context(cert_dir, "server-leaf-only.pem", "server.key"),
        "tls10": tls_context(cert_dir, "server-chain.pem", "server.key", tls10_only=True),
    }
    servers = {name: ReleaseServer(context, release_dir, verbose) for name, context in contexts.items()}
    servers["silent"] = RawServer(_SilentHandler)
    servers["garbage"] = RawServer(_GarbageHandler)
    servers["proxy"] = connect_proxy.ConnectProxy()
    for server in servers.values():
        threading.Thread(target=server.serve_forever, daemon=True).start()
    refused = reserve_refused_port()
    backlog = fill_backlog_port()
    ports = {name: server.port for name, server in servers.items()}
    ports["refused"] = refused.getsockname()[1]
    ports["backlog_full"] = backlog[0].getsockname()[1]
    return ports, (servers, refused, backlog)


def write_ready_file(path, ports, cert_dir):
    ready = {
        "pid": os.getpid(),
        "host": "localhost",
        "ca_file": os.path.join(cert_dir, "root-ca.pem"),
        "cert_dir": cert_dir,
        "base_url": f"https://localhost:{ports['https']}",
        "proxy_only_host": PROXY_ONLY_HOST,
        "ports": ports,
    }
    temporary = path + ".tmp"
    with open(temporary, "w") as out:
        json.dump(ready, out, indent=2)
    os.replace(temporary, path)


def main():
    parser = argparse.ArgumentParser(description="Hostile local HTTPS release server for tests")
    parser.add_argument("--ready-file", required=True, help="where to write the JSON with ports and CA file")
    parser.add_argument("--cert-dir", help="certificate directory, made if missing (default: a fresh one)")
    parser.add_argument("--release-dir", help="directory whose files are served under /")
    parser.add_argument("--watch-stdin", action="store_true", help="exit when standard input closes")
    parser.add_argument("--verbose", action="store_true", help="log each request to standard error")
    arguments = parser.parse_args()

    cert_dir = (test_pki.make_server_certificates(arguments.cert_dir) if arguments.cert_dir
                else test_pki.fresh_server_certificates())
    stop = threading.Event()
    signal.signal(signal.SIGTERM, lambda *_: stop.set())
    signal.signal(signal.SIGINT, lambda *_: stop.set())
    if arguments.watch_stdin:
        threading.Thread(target=lambda: (sys.stdin.buffer.read(), stop.set()), daemon=True).start()
    ports, keep = start_servers(cert_dir, arguments.release_dir, arguments.verbose)
    write_ready_file(os.path.abspath(arguments.ready_file), ports, cert_dir)
    while not stop.wait(1):
        pass
    del keep


if __name__ == "__main__":
    main()
