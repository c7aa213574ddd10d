#!/usr/bin/env bash
# Files that could freeze the agent, end to end: in an xterm whose shell works
# in a fixture folder holding a FIFO named pipe-x.png, a link to /dev/zero named
# zero-z.png and a 1 GB sparse file named sparse-big.png, and showing the
# address of an endless download on 127.0.0.1 (remote images on), holding Alt
# over each in turn shows no card and leaves the agent responsive: a real image
# named after them still previews, and SIGTERM then ends the agent with status
# 0. Prints how long the preview and the exit took and the agent's peak
# resident memory (figures, not checks: the limits below only catch a hung
# agent).
#
#   hostile_files_e2e.sh path/to/VistelPrototype
#
# Exits 77 (skipped) only when Xvfb is missing.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

agent=${1:?usage: hostile_files_e2e.sh path/to/VistelPrototype}
require_tools xdotool xterm convert xsetroot

tmp=$(mktemp -d)
project="/tmp/vistel-hostile-e2e-$$"
pids=()
agent_pid=
server_pid=
cleanup() {
    [ -n "$agent_pid" ] && kill -9 "$agent_pid" 2>/dev/null
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
    stop_started
    rm -rf "$tmp" "$project"
}
trap cleanup EXIT

log="$tmp/agent.log"
fail() {
    echo "FAIL: $*"
    [ -f "$log" ] && { echo "---- $log"; tail -n 60 "$log"; }
    exit 1
}
now_ms() { date +%s%3N; }

isolate_session

echo "== fixture folder"
mkdir -p "$project/.git"
mkfifo "$project/pipe-x.png" || fail "cannot make a FIFO"
ln -s /dev/zero "$project/zero-z.png"
truncate -s 1G "$project/sparse-big.png" || fail "cannot make a sparse file"
convert -size 160x100 xc:purple "$project/real-photo.png" || fail "cannot make the image"

echo "== a loopback server whose image never ends (a PNG signature, then 64 KiB pieces)"
python3 "$(dirname "$0")/../support/endless_image_server.py" >"$tmp/port" &
server_pid=$!
wait_for 5 test -s "$tmp/port" || fail "the loopback server did not start"
port=$(head -1 "$tmp/port")
mkdir -p "$XDG_CONFIG_HOME/vistel"
printf '[General]\nloadRemoteImages=true\n' >"$XDG_CONFIG_HOME/vistel/com.vistel.Vistel.conf"

echo "== private X server and a terminal whose shell works there"
start_xvfb 1024x600 || fail "no private X server"
paint_desktop 1024x600
columns=60
rows=10
text="open pipe-x.png\n\nopen zero-z.png\n\nopen sparse-big.png\n\nopen real-photo.png\n\nhttp://127.0.0.1:$port/endless.png"
start_xterm hostile-terminal "$columns" "$rows" "$text" || fail "the terminal did not appear"

echo "== agent"
start_debug_agent "$agent" || fail "no banner"
sleep 2 # the recogniser warms on a worker after the banner

# Holding Alt over each hostile name: the spot is read and no card shows.
row=0
for name in pipe-x.png zero-z.png sparse-big.png; do
    echo "-- $name"
    from=$(($(wc -l <"$log") + 1))
    xdotool mousemove $(cell_point 8 $row) keydown alt
    deadline=$((SECONDS + 20))
    until [ "$(tail -n +"$from" "$log" | grep -c '\[ocr\] pointer')" -ge 2 ]; do
        card_shown && { xdotool keyup alt; fail "$name: a card showed"; }
        [ $SECONDS -ge $deadline ] && { xdotool keyup alt; fail "$name: the spot was not read twice in 20 s"; }
        sleep 0.1
    done
    card_shown && { xdotool keyup alt; fail "$name: a card showed"; }
    xdotool keyup alt
    sleep 0.3
    row=$((row + 2))
done

echo "-- http://127.0.0.1:$port/endless.png"
before_kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$agent_pid/status")
from=$(($(wc -l <"$log") + 1))
xdotool mousemove $(cell_point 8 8) keydown alt
# Each reading of the spot asks for the download again while it has not failed.
wait_for 20 bash -c "tail -n +$from '$log' | grep -q 'endless.png'" ||
    { xdotool keyup alt; fail "the address was not read in 20 s"; }
sleep 5 # long enough for the body to overrun any cap many times over
card_shown && { xdotool keyup alt; fail "a card showed for an endless download"; }
xdotool keyup alt
sleep 0.3
peak_kb=$(awk '/^VmHWM:/ {print $2}' "/proc/$agent_pid/status")
echo "agent's peak resident memory: $((before_kb / 1024)) MB before the endless download, $((peak_kb / 1024)) MB after"
[ -n "${VISTEL_E2E_LOG:-}" ] && cp "$log" "$VISTEL_E2E_LOG"

echo "-- real-photo.png"
from=$(($(wc -l <"$log") + 1))
xdotool mousemove $(cell_point 8 6)
start=$(now_ms)
xdotool keydown alt
wait_for 20 card_shown || { xdotool keyup alt; fail "no card for the real image: the agent is stuck"; }
shown=$(($(now_ms) - start))
tail -n +"$from" "$log" | grep -qF -- "-> $project/real-photo.png" || { xdotool keyup alt; fail "the card is not for real-photo.png"; }
xdotool keyup alt
echo "real image previewed ${shown} ms after Alt went down (target: within a second)"

echo "-- SIGTERM"
start=$(now_ms)
kill -TERM "$agent_pid"
for _ in $(seq 100); do kill -0 "$agent_pid" 2>/dev/null || break; sleep 0.05; done
kill -0 "$agent_pid" 2>/dev/null && fail "the agent did not end within 5 s of SIGTERM"
wait "$agent_pid"
status=$?
ended=$(($(now_ms) - start))
agent_pid=
[ "$status" -eq 0 ] || fail "the agent ended with status $status"
echo "SIGTERM ended the agent in ${ended} ms with status 0"
echo "PASS"
