#!/usr/bin/env bash
# Peak resident memory through twenty downloads of an endless body with no
# declared length, served on 127.0.0.1. Target: under 150 MB. Prints figures only.
#
#   bench/bench_remote_memory.sh path/to/bench_remote_downloads [count]   (a release build)
set -uo pipefail
program=${1:?usage: bench_remote_memory.sh path/to/bench_remote_downloads [count]}
count=${2:-20}
tmp=$(mktemp -d)
server_pid=
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

# Headers without a length, then 64 KiB pieces for as long as the client reads.
cat >"$tmp/serve.py" <<'PY'
import http.server, socketserver, sys
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
PY
python3 "$tmp/serve.py" >"$tmp/port" &
server_pid=$!
for _ in $(seq 50); do [ -s "$tmp/port" ] && break; sleep 0.1; done
port=$(head -1 "$tmp/port")
[ -n "$port" ] || { echo "bench: the loopback server did not start"; exit 1; }
QT_QPA_PLATFORM=offscreen "$program" "http://127.0.0.1:$port" "$count"
