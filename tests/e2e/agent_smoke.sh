#!/usr/bin/env bash
# The agent end to end on a private Xvfb: it refuses to start without a display,
# prints its banner, logs what lies under the pointer while Alt is held, shows
# a card for an image path printed in a terminal and hides it on release, gives
# way to a second agent, and exits 0 on SIGTERM.
#
#   agent_smoke.sh path/to/VistelPrototype
#
# Exits 77 (skipped) only when Xvfb is missing.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

agent=${1:?usage: agent_smoke.sh path/to/VistelPrototype}
require_tools xdotool xterm convert

tmp=$(mktemp -d)
pids=()
trap stop_run EXIT

fail() {
    echo "FAIL: $*"
    for log in "$tmp"/agent*.log; do [ -f "$log" ] && { echo "---- $log"; cat "$log"; }; done
    exit 1
}

running() { kill -0 "$1" 2>/dev/null; }
stopped() { ! running "$1"; }
logged() { grep -qsE "$2" "$1"; }

# The machine's own settings, session bus and other agents' channels stay out of reach.
isolate_session

echo "== without a display the agent says so and exits 1"
env -u DISPLAY timeout 20 "$agent" >"$tmp/nodisplay.log" 2>&1
status=$?
[ $status -eq 1 ] || { cat "$tmp/nodisplay.log"; fail "no display: exit status $status, expected 1"; }
grep -q "X11" "$tmp/nodisplay.log" || { cat "$tmp/nodisplay.log"; fail "no display: no line about X11"; }

echo "== private X server"
start_xvfb 1280x800 || fail "no private X server"

echo "== a terminal showing an image path, its shell in the project folder"
mkdir -p "$tmp/work/shots"
convert -size 120x80 xc:red "$tmp/work/shots/red-square.png" || fail "cannot make the test image"
(cd "$tmp/work" && exec xterm -geometry 60x10+0+0 -fa "DejaVu Sans Mono" -fs 16 -bg white -fg black \
    -T smoke-terminal -e sh -c 'printf "shots/red-square.png\n"; exec sleep 300') &
pids+=($!)
wait_for 10 xdotool search --name '^smoke-terminal$' >/dev/null || fail "the terminal did not appear"
sleep 1 # let it draw

echo "== first agent"
"$agent" --debug >"$tmp/agent1.log" 2>&1 &
first=$!
pids+=($first)
wait_for 30 logged "$tmp/agent1.log" '^Vistel is running\. Hold Alt over an image or path\.$' ||
    fail "no banner"
logged "$tmp/agent1.log" '^debug logging on$' || fail "no 'debug logging on' line"

echo "== holding Alt over the path"
xdotool mousemove 60 14
xdotool keydown alt
wait_for 10 logged "$tmp/agent1.log" '^\[hover\] 60,14 .*window="smoke-terminal"' ||
    fail "no [hover] line naming the terminal under the pointer"
wait_for 20 card_shown || {
    running "$first" || fail "the first agent stopped early (did another Vistel agent start meanwhile?)"
    fail "no card for the path under the pointer"
}
xdotool mousemove 70 16
wait_for 5 logged "$tmp/agent1.log" '^\[hover\] 70,16 ' || fail "no [hover] line after the pointer moved"

echo "== releasing Alt"
xdotool keyup alt
wait_for 2 eval '! card_shown' || fail "the card stayed after Alt was released"
hovers=$(grep -c '^\[hover\]' "$tmp/agent1.log")
xdotool mousemove 200 100
sleep 0.5
[ "$(grep -c '^\[hover\]' "$tmp/agent1.log")" -eq "$hovers" ] || fail "[hover] lines while Alt is up"

echo "== a second agent replaces the first"
"$agent" --debug >"$tmp/agent2.log" 2>&1 &
second=$!
pids+=($second)
wait_for 30 logged "$tmp/agent2.log" '^Vistel is running\.' || fail "the second agent printed no banner"
wait_for 10 stopped "$first" || fail "the first agent is still running"
wait "$first"
status=$?
[ $status -eq 0 ] || fail "the first agent exited with $status"
running "$second" || fail "the second agent stopped too"

echo "== SIGTERM"
kill -TERM "$second"
wait_for 10 stopped "$second" || fail "the second agent ignored SIGTERM"
wait "$second"
status=$?
[ $status -eq 0 ] || fail "SIGTERM: exit status $status, expected 0"

grep -E '^\[hover\]|\[ocr\]' "$tmp/agent1.log" | head -n 5
echo "PASS"
