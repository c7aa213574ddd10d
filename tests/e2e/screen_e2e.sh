#!/usr/bin/env bash
# Previews read from the screen, end to end: xterm publishes no text, so the
# agent captures the strip under the pointer and recognises it. On a private
# Xvfb with an xterm (Xft DejaVu Sans Mono) whose shell works in a fixture
# project, holding Alt over
#   an absolute path, a relative path (resolved through the shell's folder),
#   a path the terminal wrapped onto the next row (pointer on either row),
#   a bare name that only one file of the project has,
#   a relative path with the terminal's cursor block right after it,
#   an absolute path running across the edge of two monitors side by side
# shows the card for that file (the --debug log names it), and over
#   prose, a name that two files of the project have
# no card shows. The desktop beside the terminal is a plain colour, or with
# VISTEL_E2E_DESKTOP=photo a landscape wallpaper: both lie in the strip the
# agent captures.
#
#   screen_e2e.sh path/to/VistelPrototype
#
# Exits 77 (skipped) only when Xvfb is missing.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

agent=${1:?usage: screen_e2e.sh path/to/VistelPrototype}
require_tools xdotool xterm convert xsetroot xrandr

tmp=$(mktemp -d)
# The project's path is drawn on the screen and read back, so its name is plain
# words and digits, not a temporary folder's random letters.
project="/tmp/vistel-screen-e2e-$$"
pids=()
trap stop_run EXIT

log="$tmp/agent.log"
fail() {
    echo "FAIL: $*"
    [ -f "$log" ] && { echo "---- $log"; cat "$log"; }
    import -window root "$tmp/screen.png" 2>/dev/null && echo "(screen saved as $tmp/screen.png before cleanup)"
    exit 1
}

card_hidden() { ! card_shown; }
# The log from line $from on names the file as the reading's answer.
answered() { tail -n +"$from" "$log" | grep -qF -- "-> $1"; }

isolate_session

echo "== fixture project"
rm -rf "$project"
mkdir -p "$project/.git" "$project/shots" "$project/absolute" "$project/assets/icons" "$project/renders" \
    "$project/one" "$project/two"
image() { convert -size 120x80 "xc:$2" "$1" || fail "cannot make $1"; }
image "$project/absolute/blue-circle.png" blue
image "$project/shots/red-square.png" red
image "$project/assets/icons/green-leaf.png" green
image "$project/one/twin-picture.png" yellow
image "$project/two/twin-picture.png" orange
mkdir -p "$project/renders/2024-06-01/session-0042"
wrapped="$project/renders/2024-06-01/session-0042/hero-frame-000042-final-render-of-the-scene.png"
image "$wrapped" purple

echo "== private X server and a terminal whose shell works in the project"
start_xvfb 1280x800 || fail "no private X server"
paint_desktop 1280x800

columns=80
rows=16
# What the terminal shows, row by row from row 0; blank rows keep the scenes
# apart. The wrapped path fills row 4 and goes on in row 5.
text="absolute $project/absolute/blue-circle.png\n"
text+="\nrelative shots/red-square.png\n"
text+="\n$wrapped\n"
text+="\nbare green-leaf.png here\n"
text+="\nThe quick brown fox jumps over the lazy dog and runs\n"
text+="\ntwin-picture.png is in two folders\n"
# Last, so that the terminal's cursor block sits right after it.
text+="\nopen shots/red-square.png"
[ ${#wrapped} -gt $columns ] || fail "the wrapped path is too short to wrap"
start_xterm screen-terminal "$columns" "$rows" "$text" || fail "the terminal did not appear"

echo "== agent"
start_debug_agent "$agent" || fail "no banner"

# shows NAME COLUMN ROW FILE: holding Alt there shows the card for FILE.
shows() {
    echo "-- $1"
    from=$(($(wc -l <"$log") + 1))
    xdotool mousemove $(cell_point "$2" "$3")
    xdotool keydown alt
    wait_for 20 card_shown || { xdotool keyup alt; fail "$1: no card"; }
    wait_for 5 answered "$4" || { xdotool keyup alt; fail "$1: the card is not for $4"; }
    xdotool keyup alt
    wait_for 3 card_hidden || fail "$1: the card stayed after Alt was released"
}

# shows_nothing NAME COLUMN ROW: holding Alt there shows no card while the agent
# reads that spot twice and finds nothing there.
shows_nothing() {
    echo "-- $1"
    from=$(($(wc -l <"$log") + 1))
    xdotool mousemove $(cell_point "$2" "$3")
    xdotool keydown alt
    local deadline=$((SECONDS + 30))
    until [ "$(tail -n +"$from" "$log" | grep -c 'no candidate under the pointer')" -ge 2 ]; do
        card_shown && { xdotool keyup alt; fail "$1: a card showed"; }
        [ $SECONDS -ge $deadline ] && { xdotool keyup alt; fail "$1: the spot was not read twice in 30 s"; }
        sleep 0.1
    done
    card_shown && { xdotool keyup alt; fail "$1: a card showed"; }
    xdotool keyup alt
}

echo "== previews"
shows "absolute path" 30 0 "$project/absolute/blue-circle.png"
shows "relative path, through the shell's folder" 14 2 "$project/shots/red-square.png"
shows "wrapped path, pointer on its first row" $((columns - 6)) 4 "$wrapped"
shows "wrapped path, pointer on its second row" 3 5 "$wrapped"
shows "bare name unique in the project" 8 7 "$project/assets/icons/green-leaf.png"
shows "a path with the cursor block after it" 10 13 "$project/shots/red-square.png"

echo "== no previews"
shows_nothing "prose" 20 9
shows_nothing "a name two files have" 6 11

echo "== two monitors side by side, their edge across the absolute path"
edge=$(((2000 + 34 * cell_w) / 1000))
xrandr --setmonitor vistel-left "$edge/100x800/200+0+0" none >/dev/null &&
    xrandr --setmonitor vistel-right "$((1280 - edge))/200x800/200+$edge+0" none >/dev/null ||
    fail "Xvfb would not split its screen into two monitors"
shows "absolute path, pointer left of the monitors' edge" 20 0 "$project/absolute/blue-circle.png"

[ -n "${VISTEL_E2E_LOG:-}" ] && cp "$log" "$VISTEL_E2E_LOG"
echo "PASS"
