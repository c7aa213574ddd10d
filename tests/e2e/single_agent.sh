#!/usr/bin/env bash
# One agent per user and display, reached through its socket: --help and a
# mistyped option leave the running agent alone; --open from a later start
# opens the window in the running agent, which stays; an agent on another
# display is a different agent; --quit ends one; a socket left by a killed
# agent is cleaned up; a path that is not a socket is refused and the agent
# still starts.
#
#   single_agent.sh path/to/VistelPrototype
#
# Exits 77 (skipped) only when Xvfb is missing.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

agent=${1:?usage: single_agent.sh path/to/VistelPrototype}
require_tools xdotool

tmp=$(mktemp -d)
pids=()
trap stop_run EXIT

fail() {
    echo "FAIL: $*"
    for log in "$tmp"/*.log; do [ -f "$log" ] && { echo "---- $log"; cat "$log"; }; done
    exit 1
}

running() { kill -0 "$1" 2>/dev/null; }
stopped() { ! running "$1"; }
logged() { grep -qsE "$2" "$1"; }
# A visible window of process $1 titled $2.
window_of() { xdotool search --onlyvisible --pid "$1" --name "^$2\$" >/dev/null 2>&1; }

# start_agent NAME: an agent on $DISPLAY logging to $tmp/NAME.log; its pid in $started.
start_agent() {
    "$agent" --debug >"$tmp/$1.log" 2>&1 &
    started=$!
    pids+=($started)
    wait_for 30 logged "$tmp/$1.log" '^Vistel is running\.' || fail "$1 printed no banner"
}

# run NAME ARGS...: runs a later start to completion; its status in $status.
run() {
    local name=$1
    shift
    timeout 30 "$agent" "$@" >"$tmp/$name.out" 2>"$tmp/$name.err"
    status=$?
}

isolate_session
start_xvfb 800x600 || fail "no first X server"
first_display=$DISPLAY
start_xvfb 800x600 || fail "no second X server"
second_display=$DISPLAY
export DISPLAY=$first_display

echo "== an agent on $first_display"
start_agent first
first=$started

echo "== --help, --version and a mistyped option leave it alone"
run help --help
[ $status -eq 0 ] || fail "--help: exit status $status"
grep -q '^Usage: VistelPrototype' "$tmp/help.out" || fail "--help printed no usage"
run version --version
[ $status -eq 0 ] || fail "--version: exit status $status"
run typo --frobnicate
[ $status -eq 2 ] || fail "--frobnicate: exit status $status, expected 2"
run bogus --open bogus
[ $status -eq 2 ] || fail "--open bogus: exit status $status, expected 2"
sleep 1
running "$first" || fail "the agent stopped after --help, --version or a mistyped option"

echo "== --open settings from a later start opens the window in the running agent"
window_of "$first" Settings && fail "the settings window was open before it was asked for"
run open --open settings
[ $status -eq 0 ] || fail "--open settings: exit status $status"
grep -q "already running (pid $first)" "$tmp/open.out" || fail "--open settings did not name the running agent"
wait_for 10 window_of "$first" Settings || fail "no settings window in the running agent"
running "$first" || fail "the agent stopped after --open settings"

echo "== an agent on $second_display is another agent"
DISPLAY=$second_display start_agent second
second=$started
sleep 1
running "$first" || fail "an agent on another display replaced the first"

echo "== --quit ends the agent of its display only"
run quit --quit
[ $status -eq 0 ] || fail "--quit: exit status $status"
wait_for 10 stopped "$first" || fail "the agent did not quit"
wait "$first"
[ $? -eq 0 ] || fail "the agent that was asked to quit did not exit 0"
running "$second" || fail "--quit on $first_display ended the agent on $second_display"
run quit-again --quit
[ $status -eq 1 ] || fail "--quit with no agent: exit status $status, expected 1"
grep -q "no agent is running on $first_display" "$tmp/quit-again.out" || fail "--quit with no agent said nothing clear"

echo "== a socket left by a killed agent is cleaned up"
export DISPLAY=$second_display
kill -KILL "$second"
wait "$second" 2>/dev/null
socket=$(ls "$XDG_RUNTIME_DIR"/vistel-*.socket 2>/dev/null | head -n1)
[ -S "$socket" ] || fail "no socket left behind by the killed agent"
run stale --quit
[ $status -eq 1 ] || fail "--quit with a stale socket: exit status $status, expected 1"
[ -e "$socket" ] && fail "the stale socket $socket is still there"
start_agent third
third=$started
run quit-third --quit
[ $status -eq 0 ] || fail "--quit after a stale socket: exit status $status"
wait_for 10 stopped "$third" || fail "the agent started after a stale socket did not quit"

echo "== a path that is not a socket is refused, and the agent still starts"
printf 'not a socket\n' >"$socket"
start_agent refused
refused=$started
logged "$tmp/refused.log" "later starts cannot reach this agent: .*is not a socket" ||
    fail "no line about the path that is not a socket"
run quit-refused --quit
[ $status -eq 1 ] || fail "--quit through a path that is not a socket: exit status $status, expected 1"
grep -q "is not a socket" "$tmp/quit-refused.out" || fail "--quit did not say why it could not ask"
[ "$(cat "$socket")" = "not a socket" ] || fail "the file that is not a socket was changed"
running "$refused" || fail "the agent without a socket stopped"

echo "PASS"
