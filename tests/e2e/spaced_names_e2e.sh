#!/usr/bin/env bash
# Names with spaces read from the screen, end to end: an xterm (which publishes
# no text) shows real `ls -1` output of a folder of screenshots, quoted by ls
# as 'Screenshot from 2026-12-07 10-00-00.png', then the same kind of name bare
# in prose and escaped with backslashes. Holding Alt over each shows the card
# for that file (the --debug log names it; a twin one second later exists, so
# a wrong reading would show the other). Over a quoted name that names no file,
# beside a bare name that does, no card shows.
#
#   spaced_names_e2e.sh path/to/VistelPrototype
#
# Exits 77 (skipped) only when Xvfb is missing.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

agent=${1:?usage: spaced_names_e2e.sh path/to/VistelPrototype}
require_tools xdotool xterm convert

tmp=$(mktemp -d)
project="/tmp/vistel-spaced-e2e-$$"
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
answered() { tail -n +"$from" "$log" | grep -qF -- "-> $1"; }

isolate_session

echo "== fixture project"
rm -rf "$project"
mkdir -p "$project/.git" "$project/shots"
image() { convert -size 120x80 "xc:$2" "$1" || fail "cannot make $1"; }
gnome="$project/shots/Screenshot from 2026-12-07 10-00-00.png"
twin="$project/shots/Screenshot from 2026-12-07 10-00-01.png"
mac="$project/shots/Screen Shot 2026-12-07 at 10.00.00.png"
image "$gnome" blue
image "$twin" red
image "$mac" green
image "$project/red.png" red

echo "== private X server and a terminal whose shell works in the project"
start_xvfb 1280x800 || fail "no private X server"
paint_desktop 1280x800

columns=80
rows=16
# Rows 0 to 3: the prompt and what ls prints, C collation ("Screen Shot" first).
# Then, from row 4, blank rows between the scenes.
text="\nSaved Screen Shot 2026-12-07 at 10.00.00.png to shots\n"
text+="\ncp shots/Screenshot\\\\ from\\\\ 2026-12-07\\\\ 10-00-01.png /tmp\n"
text+="\n'Screenshot from 2026-12-07 11-11-11.png'  red.png"
xterm_show='printf "\$ ls -1 shots\n"; LC_ALL=C ls -1 shots; printf "$1"; exec sleep 600' \
    start_xterm spaced-terminal "$columns" "$rows" "$text" || fail "the terminal did not appear"
import -window root "$tmp/terminal.png" 2>/dev/null

echo "== agent"
start_debug_agent "$agent" || fail "no banner"

shows() {
    echo "-- $1"
    from=$(($(wc -l <"$log") + 1))
    xdotool mousemove $(cell_point "$2" "$3")
    xdotool keydown alt
    wait_for 20 card_shown || { xdotool keyup alt; fail "$1: no card"; }
    wait_for 5 answered "$4" || { xdotool keyup alt; fail "$1: the card is not for $4"; }
    [ -n "${VISTEL_E2E_SHOTS:-}" ] && import -window root "$VISTEL_E2E_SHOTS/$3-$2.png" 2>/dev/null
    xdotool keyup alt
    wait_for 3 card_hidden || fail "$1: the card stayed after Alt was released"
}

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
shows "ls quotes a GNOME screenshot name" 14 2 "$gnome"
shows "ls quotes a macOS screenshot name" 8 1 "$mac"
shows "the same name bare in prose, found in the project" 10 5 "$mac"
shows "an escaped name" 24 7 "$twin"

echo "== no previews"
shows_nothing "a quoted name of no file beside a bare name that resolves" 14 9

[ -n "${VISTEL_E2E_LOG:-}" ] && cp "$log" "$VISTEL_E2E_LOG"
echo "PASS"
