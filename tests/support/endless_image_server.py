#!/usr/bin/env python3
"""A loopback HTTP server whose image never ends: headers without a length,
then 64 KiB pieces that start like a PNG, for as long as the client reads.
Prints the port it listens on, then serves until killed."""
import http.server
import socketserver


class Endless(http.server.BaseHTTPRequestHandler):
    protocol_version = "HTTP/1.0"

    def do_GET(self):
        self.send_response(200)
        self.send_header("Content-Type", "image/png")
        self.end_headers()
        piece = b"\x89PNG\r\n\x1a\n" + b"x" * (65536 - 8)
        try:
            while True:
                self.wfile.write(piece)
        except (BrokenPipeError, ConnectionResetError):
            pass

    def log_message(self, *args):
        pass


class Server(socketserver.ThreadingMixIn, http.server.HTTPServer):
    daemon_threads = True


server = Server(("127.0.0.1", 0), Endless)
print(server.server_address[1], flush=True)
server.serve_forever()
