#!/usr/bin/env python3
"""A local HTTP server for the HTTP benchmark (Python standard library only).

POST: reads the whole body (Content-Length) and throws it away, answers 200 "ok".
GET /bytes/N: answers 200 with N bytes of body and a Content-Length.
Every answer closes the connection, as the client asks. Listens on 127.0.0.1 on a free port
and prints that port as its first line.
"""
import http.server
import sys

CHUNK = 1 << 20
PATTERN = bytes(range(256)) * (CHUNK // 256)


class Handler(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def log_message(self, format, *args):  # quiet: the figures are the output
        pass

    def do_POST(self):
        remaining = int(self.headers.get("Content-Length", "0"))
        buffer = bytearray(CHUNK)
        view = memoryview(buffer)
        while remaining > 0:
            got = self.rfile.readinto(view[: min(CHUNK, remaining)])
            if not got:
                break
            remaining -= got
        self.send_response(200)
        self.send_header("Content-Length", "2")
        self.end_headers()
        self.wfile.write(b"ok")

    def do_GET(self):
        parts = self.path.strip("/").split("/")
        if len(parts) != 2 or parts[0] != "bytes" or not parts[1].isdigit():
            self.send_error(404)
            return
        size = int(parts[1])
        self.send_response(200)
        self.send_header("Content-Type", "application/octet-stream")
        self.send_header("Content-Length", str(size))
        self.end_headers()
        while size > 0:
            piece = PATTERN if size >= CHUNK else PATTERN[:size]
            self.wfile.write(piece)
            size -= len(piece)


def main():
    server = http.server.ThreadingHTTPServer(("127.0.0.1", 0), Handler)
    print(server.server_address[1], flush=True)
    try:
        server.serve_forever()
    except KeyboardInterrupt:
        pass
    finally:
        server.server_close()
    return 0


if __name__ == "__main__":
    sys.exit(main())
