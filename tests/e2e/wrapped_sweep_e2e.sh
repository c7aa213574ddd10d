#!/usr/bin/env bash
# Never a neighbour's card over a wrapped path: in a narrow xterm (which
# publishes no text, so the agent reads the screen) a long path wraps onto a
# second row, with a bare name one row above and another one row below, both
# files the project has. Holding Alt with the pointer at 8 heights spread over
# each row of the wrapped path may show the card for the wrapped path or no
# card; a card for any other file is a failure. The --debug log says which
# file each card showed ("[card] showing <path>").
#
#   wrapped_sweep_e2e.sh path/to/VistelPrototype [LOOK]
#
# LOOK picks the terminal and its look: xterm (DejaVu Sans Mono 14 pt, black
# on white; the default), xterm-bitmap (the 9x15 bitmap font, green on black)
# or urxvt (Liberation Mono 11 pt, Solarized dark).
#
# Prints one line per height (right / none / wrong) and exits 1 when any
# height showed a wrong card. Exits 77 (skipped) only when Xvfb is missing.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

agent=${1:?usage: wrapped_sweep_e2e.sh path/to/VistelPrototype [xterm|xterm-bitmap|urxvt]}
look=${2:-xterm}
case "$look" in
xterm | xterm-bitmap) require_tools xdotool xterm convert xsetroot ;;
urxvt) require_tools xdotool urxvt convert xsetroot ;;
*)
    echo "unknown look: $look (xterm, xterm-bitmap or urxvt)" >&2
    exit 2
    ;;
esac

tmp=$(mktemp -d)
# The project's path is drawn on the screen and read back: plain words and digits.
project="/tmp/vistel-sweep-e2e-$$"
pids=()
trap stop_run EXIT

log="$tmp/agent.log"
fail() {
    echo "FAIL: $*"
    [ -f "$log" ] && { echo "---- $log"; cat "$log"; }
    exit 1
}

isolate_session

echo "== fixture project"
rm -rf "$project"
mkdir -p "$project/.git" "$project/ui" "$project/renders/2024-06-01/session-0042"
image() { convert -size 120x80 "xc:$2" "$1" || fail "cannot make $1"; }
above="$project/ui/toast_error.png"
below="$project/ui/banner_below.png"
wrapped="$project/renders/2024-06-01/session-0042/hero-frame-000042-final-render-of-the-scene.png"
image "$above" red
image "$below" green
image "$wrapped" purple

echo "== private X server and a narrow terminal whose shell works in the project"
start_xvfb 1024x600 || fail "no private X server"
paint_desktop 1024x600

columns=60
rows=8
# Row 0 blank; row 1 the bare name above, right over the pointer's column;
# rows 2 and 3 the wrapped path; row 4 the bare name below, under the pointer.
first_col=40
second_col=12
text="\n$(printf '%*s' $((first_col - 6)) '')toast_error.png\n"
text+="$wrapped\n"
text+="$(printf '%*s' $((second_col - 6)) '')banner_below.png"
[ ${#wrapped} -gt $columns ] && [ ${#wrapped} -le $((2 * columns)) ] ||
    fail "the wrapped path must fill one row and end on the next"
show='printf "$1"; exec sleep 600'
case "$look" in
xterm) terminal_command=(xterm -bw 0 -fa "DejaVu Sans Mono" -fs 14 -bg white -fg black) ;;
xterm-bitmap) terminal_command=(xterm -bw 0 -fn 9x15 -bg black -fg green) ;;
urxvt) terminal_command=(urxvt -b 2 -fn "xft:Liberation Mono:size=11" -bg '#002b36' -fg '#839496') ;;
esac
(cd "$project" && exec "${terminal_command[@]}" -geometry "${columns}x${rows}+0+0" -T sweep-terminal \
    -e sh -c "$show" sh "$text") &
pids+=($!)
wait_for 10 xdotool search --name '^sweep-terminal$' >/dev/null || fail "the terminal did not appear"
sleep 1 # let it draw
terminal=$(xdotool search --name '^sweep-terminal$' | head -n1)
eval "$(xdotool getwindowgeometry --shell "$terminal")" # WIDTH, HEIGHT
# Both terminals draw a 2-pixel inner border round their character cells; sizes in thousandths of a pixel.
cell_w=$(((WIDTH - 4) * 1000 / columns))
cell_h=$(((HEIGHT - 4) * 1000 / rows))
# spot COLUMN ROW K: the middle of the column, at the K-th of 8 heights spread
# evenly over the row (K=0 near its top, K=7 near its bottom), in root pixels.
spot() {
    echo "$(((2000 + ($1 * 2 + 1) * cell_w / 2) / 1000)) $(((2000 + $2 * cell_h + (2 * $3 + 1) * cell_h / 16) / 1000))"
}

echo "== agent"
"$agent" --debug >"$log" 2>&1 &
pids+=($!)
wait_for 60 grep -qs '^Vistel is running\.' "$log" || fail "no banner"

since() { tail -n +"$from" "$log"; }
# A card showed, or two readings found nothing to show (with a card up and the
# pointer still, the agent reads no more).
settled() {
    since | grep -q '^ *\[card\] showing ' ||
        [ "$(since | grep -cE '^ *-> |no candidate under the pointer')" -ge 2 ]
}

wrong=0
right=0
none=0
# probe NAME COLUMN ROW K: holds Alt there until a card showed or the agent
# read the spot twice (and a card it decided on has had time to appear), then
# says which files the cards in that time showed.
probe() {
    from=$(($(wc -l <"$log") + 1))
    read -r x y <<<"$(spot "$2" "$3" "$4")"
    xdotool mousemove "$x" "$y"
    sleep 0.2
    xdotool keydown alt
    wait_for 30 settled || { xdotool keyup alt; fail "$1 (y=$y): no card, and the spot was not read twice in 30 s"; }
    sleep 1 # a decoded card lands after its reading's answer
    xdotool keyup alt
    wait_for 3 bash -c "! xdotool search --onlyvisible --name '^Vistel preview\$' >/dev/null 2>&1" ||
        fail "$1 (y=$y): the card stayed after Alt was released"
    local shown others
    shown=$(since | sed -n 's/^ *\[card\] showing //p' | sort -u)
    others=$(grep -vxF -- "$wrapped" <<<"$shown" | grep .)
    if [ -n "$others" ]; then
        echo "$1 y=$y: wrong ($(tr '\n' ' ' <<<"$others"))"
        since | grep -E '\[hover\]|\[ocr\]|-> |\[card\]|no candidate|fallback' | sed 's/^/    /'
        wrong=$((wrong + 1))
    elif [ -n "$shown" ]; then
        echo "$1 y=$y: right"
        right=$((right + 1))
    else
        echo "$1 y=$y: none"
        none=$((none + 1))
    fi
}

echo "== sweep (toast_error.png one row above, banner_below.png one row below)"
for k in 0 1 2 3 4 5 6 7; do probe "first row, height $k" "$first_col" 2 "$k"; done
for k in 0 1 2 3 4 5 6 7; do probe "second row, height $k" "$second_col" 3 "$k"; done

echo "right $right, none $none, wrong $wrong of 16 heights"
[ -n "${VISTEL_E2E_LOG:-}" ] && cp "$log" "$VISTEL_E2E_LOG"
[ "$wrong" -eq 0 ] || fail "$wrong heights showed a card for another file than the wrapped path"
echo "PASS"
