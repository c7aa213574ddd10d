#!/usr/bin/env bash
# The settings window as a user meets it on a real desktop: Xvfb with the
# openbox window manager and a private session bus with the AT-SPI bus. The
# agent starts with "--open settings"; then
#   - the window's title is "Vistel Settings" (read from X, the window found by
#     its class, so a wrong title fails rather than finding nothing);
#   - read over AT-SPI, as a screen reader meets it: the lowest control ends
#     20 pixels (points, at scale 1) above the window's bottom edge, and every
#     control has a non-empty accessible name;
#   - Escape closes the window, and the agent keeps running: a later
#     "--open settings" reaches it and the window comes back.
#
#   settings_window_e2e.sh path/to/VistelPrototype path/to/accessible_tree
#
# Exits 77 (skipped) only when Xvfb is missing.
set -uo pipefail
here="$(dirname "$0")"
source "$here/lib.sh"
source "$here/desktop.sh"

agent=${1:?usage: settings_window_e2e.sh path/to/VistelPrototype path/to/accessible_tree}
tree=${2:?usage: settings_window_e2e.sh path/to/VistelPrototype path/to/accessible_tree}
require_tools xdotool dbus-daemon dbus-send openbox xsetroot xprop xwininfo
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "FAIL: at-spi2-core is not installed (scripts/install-deps installs it)"; exit 1; }

tmp=$(mktemp -d)
log="$tmp/agent.log"
pids=()
trap stop_run EXIT
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# The agent's visible top-level windows, by class (the card is hidden until a hover).
agent_window() { xdotool search --onlyvisible --class '^Vistel$' 2>/dev/null | head -n1; }
settings_shown() { [ -n "$(agent_window)" ]; }
settings_gone() { [ -z "$(agent_window)" ]; }

# At scale 1 a point is a pixel, which the margin is measured in.
unset QT_SCALE_FACTOR QT_SCREEN_SCALE_FACTORS
start_desktop || give_up "the desktop did not start"
start_agent "$agent" --open settings || give_up "the agent did not start"
agent_pid=${pids[-1]}
wait_for 20 settings_shown || give_up "no settings window appeared"
window=$(agent_window)

# 1. The title, as the window manager and the taskbar read it.
title=$(xprop -id "$window" -notype _NET_WM_NAME | sed -n 's/^_NET_WM_NAME = "\(.*\)"$/\1/p')
[ "$title" = "Vistel Settings" ] || fail "the window's title is \"$title\", not \"Vistel Settings\""
echo "title: $title"

# 2 and 3. The tree a screen reader reads. Qt publishes it a moment after mapping.
wait_for 10 "$tree" "Vistel Settings" >"$tmp/tree.txt" 2>"$tmp/tree.log" || give_up "cannot read the window over AT-SPI"
read -r role wx wy ww wh _ < <(head -n1 "$tmp/tree.txt" | tr '\t' ' ')
[ "$role" = frame ] || give_up "the window reads as a \"$role\", not a frame"
# The window's edges as X has them, so the margin is measured against the real window.
geometry=$(xwininfo -id "$window")
x=$(sed -n 's/^ *Absolute upper-left X: *//p' <<<"$geometry")
y=$(sed -n 's/^ *Absolute upper-left Y: *//p' <<<"$geometry")
w=$(sed -n 's/^ *Width: *//p' <<<"$geometry")
h=$(sed -n 's/^ *Height: *//p' <<<"$geometry")
[ "$wx $wy $ww $wh" = "$x $y $w $h" ] ||
    fail "the window reads as $ww x $wh at $wx,$wy over AT-SPI but is $w x $h at $x,$y"

# Controls: everything a user can read or use; frames, panes, spacers and the
# sample drawing (fillers) and the menu bar itself only hold or space them.
controls=$(tail -n +2 "$tmp/tree.txt" | awk -F'\t' '$1 !~ /^(frame|filler|panel|menu bar)$/')
[ "$(grep -c '^push button' <<<"$controls")" -ge 1 ] || fail "no push button reads over AT-SPI"
[ "$(grep -c '^check box' <<<"$controls")" -ge 1 ] || fail "no check box reads over AT-SPI"
unnamed=$(awk -F'\t' '$3 == "" { print "  " $1 " at " $2 }' <<<"$controls")
[ -z "$unnamed" ] || fail "controls without an accessible name:"$'\n'"$unnamed"
lowest=$(awk -F'\t' '{ split($2, b, " "); if (b[2] + b[4] > max) max = b[2] + b[4] } END { print max + 0 }' <<<"$controls")
margin=$((wy + wh - lowest))
echo "controls: $(wc -l <<<"$controls"), the lowest ends at y=$lowest, $margin above the window's bottom edge at y=$((wy + wh))"
[ "$margin" -eq 20 ] || fail "the lowest control ends $margin pixels above the window's bottom edge, not 20"

# 4. Escape closes the window; the agent stays and answers the next start.
xdotool windowactivate --sync "$window" 2>/dev/null
xdotool key Escape
wait_for 10 settings_gone ||
    fail "Escape left the settings window open"
sleep 1
kill -0 "$agent_pid" 2>/dev/null || give_up "the agent ended when its settings window closed"
said=$("$agent" --open settings 2>&1)
grep -q "^Vistel is already running (pid $agent_pid)" <<<"$said" ||
    fail "a later start did not reach the running agent: $said"
wait_for 20 settings_shown || fail "the running agent did not show its settings window again"

if [ "$failures" -gt 0 ]; then
    echo "---- agent log"
    tail -n 40 "$log"
    echo "FAIL: $failures check(s)"
    exit 1
fi
echo "PASS"
