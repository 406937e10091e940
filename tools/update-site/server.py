#!/usr/bin/env python3
"""The update site of the tests: a static HTTP server on 127.0.0.1 that can also misbehave.

The first part of a request's path chooses the behaviour, the rest names a file below ROOT:
  /ok/PATH             the file, or 404 when it does not exist
  /stall-headers/PATH  reads the request and never answers (until the client gives up)
  /stall-body/PATH     sends the headers and the first half of the file, then nothing
  /redirect/PATH       302 to /ok/PATH
  /trickle/PATH        the headers, then one byte of the file every half second
  /slow/PATH           the file after a pause of SLOW_PAUSE seconds (for pictures of the progress)
  /slow-headers/PATH   the headers one byte a second, never ending
  /endless-headers/PATH  header lines without end, as fast as they are taken
  /endless-body/PATH   the headers without a length, then bytes without end
With --tls DIR the same site is served over TLS too, once per certificate DIR/NAME.pem (key
DIR/NAME.key), each on a port of its own written to the file tls-port-NAME beside the port file.
Every stall ends after STALL_LIMIT seconds; the server ends by itself after IDLE_LIMIT seconds
without a request, and after LIFE_LIMIT seconds in any case.
"""
import argparse
import http.server
import os
import select
import ssl
import sys
import threading
import time

STALL_LIMIT = 40
SLOW_PAUSE = 0.7
IDLE_LIMIT = 900
LIFE_LIMIT = 3600

last_request = time.monotonic()


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.1"
    disable_nagle_algorithm = True

    def log_message(self, format, *args):
        sys.stderr.write("%s %s\n" % (time.strftime("%H:%M:%S"), format % args))

    def hold(self):
        """Waits until the client closes the connection or STALL_LIMIT passes."""
        end = time.monotonic() + STALL_LIMIT
        while time.monotonic() < end:
            readable, _, _ = select.select([self.connection], [], [], 0.5)
            if readable:
                try:
                    if not self.connection.recv(4096):
                        break
                except OSError:
                    break
        self.close_connection = True

    def misbehave(self, mode):
        """Answers that never end, until the client gives up or STALL_LIMIT passes."""
        end = time.monotonic() + STALL_LIMIT
        try:
            if mode == "slow-headers":
                for byte in b"HTTP/1.1 200 OK\r\nX-Padding: " + b"a" * STALL_LIMIT:
                    if time.monotonic() > end:
                        break
                    self.wfile.write(bytes([byte]))
                    self.wfile.flush()
                    time.sleep(1)
            elif mode == "endless-headers":
                self.wfile.write(b"HTTP/1.1 200 OK\r\n")
                while time.monotonic() < end:
                    self.wfile.write(b"X-Padding: " + b"a" * 4000 + b"\r\n")
            else:
                self.wfile.write(b"HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n")
                while time.monotonic() < end:
                    self.wfile.write(b"1;a;1\r\n" * 1000)
        except OSError:
            pass
        self.close_connection = True

    def do_GET(self):
        global last_request
        last_request = time.monotonic()
        parts = self.path.split("?")[0].lstrip("/").split("/", 1)
        mode, rest = parts[0], parts[1] if len(parts) > 1 else ""
        if mode == "stall-headers":
            self.hold()
            return
        if mode in ("slow-headers", "endless-headers", "endless-body"):
            self.misbehave(mode)
            return
        if mode == "redirect":
            self.send_response(302)
            self.send_header("Location", "/ok/" + rest)
            self.send_header("Content-Length", "0")
            self.end_headers()
            return
        path = os.path.realpath(os.path.join(self.server.root, rest))
        if mode == "slow":
            time.sleep(SLOW_PAUSE)
        if mode not in ("ok", "stall-body", "slow", "trickle") or not path.startswith(self.server.root + os.sep) \
                or not os.path.isfile(path):
            body = b"not found\n"
            self.send_response(404)
            self.send_header("Content-Length", str(len(body)))
            self.end_headers()
            self.wfile.write(body)
            return
        with open(path, "rb") as f:
            body = f.read()
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(len(body)))
        self.end_headers()
        if mode == "trickle":
            end = time.monotonic() + STALL_LIMIT
            try:
                for i in range(len(body)):
                    if time.monotonic() > end:
                        break
                    self.wfile.write(body[i:i + 1])
                    self.wfile.flush()
                    time.sleep(0.5)
            except OSError:
                pass
            self.close_connection = True
            return
        if mode == "stall-body":
            self.wfile.write(body[: len(body) // 2])
            self.wfile.flush()
            self.hold()
            return
        self.wfile.write(body)


class SecureServer(http.server.ThreadingHTTPServer):
    """Shakes hands in the request's thread, so that a client that stalls or refuses holds no other."""
    context = None

    def finish_request(self, request, client_address):
        try:
            request = self.context.wrap_socket(request, server_side=True)
        except (ssl.SSLError, OSError) as error:  # in the log: a client whose handshake failed tells why
            sys.stderr.write("%s handshake on port %d failed: %r\n" % (time.strftime("%H:%M:%S"), self.server_address[1], error))
            return
        super().finish_request(request, client_address)


def serve(root, context=None):
    server = (SecureServer if context else http.server.ThreadingHTTPServer)(("127.0.0.1", 0), Handler)
    server.context = context
    server.daemon_threads = True
    server.root = os.path.realpath(root)
    threading.Thread(target=server.serve_forever, daemon=True).start()
    return server


def write_atomically(path, text):
    temporary = path + ".tmp"
    with open(temporary, "w") as f:
        f.write(text)
    os.replace(temporary, path)


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--root", required=True)
    parser.add_argument("--port-file", required=True)
    parser.add_argument("--pid-file", required=True)
    parser.add_argument("--tls")
    args = parser.parse_args()
    os.makedirs(args.root, exist_ok=True)
    server = serve(args.root)
    if args.tls:
        for name in sorted(os.listdir(args.tls)):
            if not name.endswith(".pem") or not os.path.exists(os.path.join(args.tls, name[:-4] + ".key")):
                continue
            context = ssl.SSLContext(ssl.PROTOCOL_TLS_SERVER)
            context.load_cert_chain(os.path.join(args.tls, name), os.path.join(args.tls, name[:-4] + ".key"))
            secure = serve(args.root, context)
            write_atomically(os.path.join(os.path.dirname(args.port_file), "tls-port-" + name[:-4]),
                             "%d\n" % secure.server_address[1])
    with open(args.pid_file, "w") as f:
        f.write("%d\n" % os.getpid())
    write_atomically(args.port_file, "%d\n" % server.server_address[1])
    started = time.monotonic()
    while time.monotonic() - started < LIFE_LIMIT and time.monotonic() - last_request < IDLE_LIMIT:
        time.sleep(1)
    server.shutdown()


if __name__ == "__main__":
    main()
