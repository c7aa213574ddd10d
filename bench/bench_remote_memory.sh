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

python3 "$(dirname "$0")/../tests/support/endless_image_server.py" >"$tmp/port" &
server_pid=$!
for _ in $(seq 50); do [ -s "$tmp/port" ] && break; sleep 0.1; done
port=$(head -1 "$tmp/port")
[ -n "$port" ] || { echo "bench: the loopback server did not start"; exit 1; }
QT_QPA_PLATFORM=offscreen "$program" "http://127.0.0.1:$port" "$count"
