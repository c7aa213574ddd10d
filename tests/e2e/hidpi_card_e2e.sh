#!/usr/bin/env bash
# The card on a HiDPI screen, end to end: a 3200x1800 Xvfb with Xft.dpi 192, so
# Qt scales the agent's windows by 2 and xterm draws its text twice as large.
# Holding Alt over a path near the left edge shows the card with its top-left
# within 40 device pixels of where the rule at scale 1 puts it (22 right of the
# pointer, 18 below); over a path near the right edge the card is flipped to
# the pointer's left and lies wholly on the screen. Both paths are read from
# the screen (xterm publishes no text), at twice the usual text size.
#
#   hidpi_card_e2e.sh path/to/VistelPrototype
#
# Exits 77 (skipped) only when Xvfb is missing.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

agent=${1:?usage: hidpi_card_e2e.sh path/to/VistelPrototype}
require_tools xdotool xterm convert xsetroot xrdb

tmp=$(mktemp -d)
project="/tmp/vistel-hidpi-e2e-$$" # drawn on the screen: words and digits only
pids=()
trap stop_run EXIT
log="$tmp/agent.log"
answered() { tail -n +"$from" "$log" | grep -qF -- "-> $1"; }
card_hidden() { ! card_shown; }

isolate_session
mkdir -p "$project/.git" "$project/shots" "$project/renders"
convert -size 320x200 xc:red "$project/shots/red-square.png" || give_up "cannot make an image"
convert -size 320x200 xc:blue "$project/renders/blue-circle.png" || give_up "cannot make an image"

screen_w=3200
screen_h=1800
start_xvfb "${screen_w}x${screen_h}" || give_up "no private X server"
echo "Xft.dpi: 192" | xrdb -merge || give_up "cannot set Xft.dpi"
paint_desktop "${screen_w}x${screen_h}"

# Row 0: a path at the left; row 2: a path ending near the right edge.
columns=190
rows=4
right="renders/blue-circle.png"
text="open shots/red-square.png\n\n$(printf '%*s' $((columns - ${#right} - 2)) '')$right\n"
start_xterm hidpi-terminal "$columns" "$rows" "$text" -b 2 -fa "DejaVu Sans Mono" -fs 10 -bg white -fg black ||
    give_up "the terminal did not appear"
[ "$WIDTH" -le "$screen_w" ] || give_up "the terminal ($WIDTH pixels) is wider than the screen"

start_debug_agent "$agent" || give_up "the agent did not start"

# card_at COLUMN ROW FILE: holds Alt there until the card for FILE shows; sets
# PX, PY (the pointer) and CX, CY, CW, CH (the card, device pixels).
card_at() {
    read -r PX PY < <(cell_point "$1" "$2")
    from=$(($(wc -l <"$log") + 1))
    xdotool mousemove "$PX" "$PY"
    xdotool keydown alt
    wait_for 20 card_shown || { xdotool keyup alt; give_up "no card at ($PX, $PY) for $3"; }
    wait_for 5 answered "$3" || { xdotool keyup alt; give_up "the card at ($PX, $PY) is not for $3"; }
    sleep 0.3 # the card is placed before it is mapped; let a move settle
    local card
    card=$(xdotool search --onlyvisible --name '^Vistel preview$' | head -n1)
    eval "$(xdotool getwindowgeometry --shell "$card")"
    CX=$X CY=$Y CW=$WIDTH CH=$HEIGHT
    import -window root "$tmp/card-$1-$2.png" 2>/dev/null
    xdotool keyup alt
    wait_for 3 card_hidden || give_up "the card stayed after Alt was released"
    echo "   pointer ($PX, $PY): card at ($CX, $CY), ${CW}x$CH"
}
within() { local d=$(($1 - $2)); [ "${d#-}" -le "$3" ]; }

echo "-- a path near the left edge"
card_at 12 0 "$project/shots/red-square.png"
within "$CX" $((PX + 22)) 40 && within "$CY" $((PY + 18)) 40 ||
    give_up "the card's top-left ($CX, $CY) is not within 40 pixels of ($((PX + 22)), $((PY + 18)))"
[ "$CW" -ge 300 ] || give_up "the card is ${CW} pixels wide: not scaled by 2"

echo "-- a path near the right edge"
card_at $((columns - 8)) 2 "$project/$right"
[ "$CX" -ge 0 ] && [ $((CX + CW)) -le "$screen_w" ] && [ "$CY" -ge 0 ] && [ $((CY + CH)) -le "$screen_h" ] ||
    give_up "the card ($CX, $CY, ${CW}x$CH) is not wholly on the ${screen_w}x$screen_h screen"
[ $((CX + CW)) -le "$PX" ] || give_up "the card was not flipped to the pointer's left"

[ -n "${VISTEL_E2E_LOG:-}" ] && cp "$log" "$VISTEL_E2E_LOG"
echo "PASS"
