#!/usr/bin/env bash
# Names with spaces read through accessibility, end to end: on the real
# desktop stack (openbox, AT-SPI bus), a terminal and an editor show a file
# whose rows name screenshots the way tools print them: quoted by ls, escaped
# by a shell, inside Markdown's <…> and inside a JSON string. Holding Alt over
# each must show that file, read through accessibility ("  [ax] matched");
# each has a twin one second later, so a wrong reading shows the other. Over a
# quoted name of no file, beside a bare name that exists, no card shows.
#
#   spaced_names_ax_e2e.sh path/to/VistelPrototype
#
# Exits 77 (skipped) only when Xvfb is missing.
set -uo pipefail
here="$(dirname "$0")"
source "$here/lib.sh"
source "$here/desktop.sh"

agent=${1:?usage: spaced_names_ax_e2e.sh path/to/VistelPrototype}
apps=(xfce4-terminal mousepad)
require_tools xdotool convert import tesseract dbus-daemon dbus-send openbox xsetroot xprop "${apps[@]}"
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "FAIL: at-spi2-core is not installed (scripts/install-deps installs it)"; exit 1; }

tmp=$(mktemp -d)
log="$tmp/agent.log"
pids=()
project="/tmp/vistel-spaced-ax-e2e-$$"
trap stop_run EXIT

# The fixture: the screenshots, their twins, and the rows that name them.
make_project() {
    mkdir -p "$project/.git" "$project/shots" || return 1
    local f
    for f in "Screenshot from 2026-12-07 10-00-00.png:blue" "Screenshot from 2026-12-07 10-00-01.png:red" \
        "Screen Shot 2026-12-07 at 10.00.00.png:green" "Screen Shot 2026-12-07 at 10.00.01.png:yellow"; do
        convert -size 120x80 "xc:${f##*:}" "$project/shots/${f%:*}" || return 1
    done
    convert -size 120x80 xc:orange "$project/red.png" || return 1
    printf '%s\n' "" \
        "listed 'Screenshot from 2026-12-07 10-00-00.png'" "" \
        'escaped shots/Screenshot\ from\ 2026-12-07\ 10-00-01.png' "" \
        'markdown ![shot](<shots/Screen Shot 2026-12-07 at 10.00.00.png>)' "" \
        'json {"path": "shots/Screen Shot 2026-12-07 at 10.00.01.png"}' "" \
        "nothing 'Screenshot from 1999-01-01 00-00-00.png' red.png" >"$project/notes.txt"
}

spaced_cases=(listed escaped markdown json nothing)
# case_target NAME: "LABEL CHARS FILE", as hover_case asks (FILE -: no card).
case_target() {
    case $1 in
    listed) echo "listed 14 $project/shots/Screenshot from 2026-12-07 10-00-00.png" ;;
    escaped) echo "escaped 22 $project/shots/Screenshot from 2026-12-07 10-00-01.png" ;;
    markdown) echo "markdown 30 $project/shots/Screen Shot 2026-12-07 at 10.00.00.png" ;;
    json) echo "json 24 $project/shots/Screen Shot 2026-12-07 at 10.00.01.png" ;;
    nothing) echo "nothing 14 -" ;;
    esac
}

make_project || give_up "cannot make the fixture project"
echo "== Xvfb, openbox, session and accessibility buses"
start_desktop || give_up "no desktop"
echo "== agent"
start_agent "$agent" || give_up "no agent"

for app in "${apps[@]}"; do
    echo "== $app"
    start_app "$app" || { fail "$app did not start"; continue; }
    for name in "${spaced_cases[@]}"; do
        read -r result reader ms < <(hover_case "$name")
        echo "-- $app $name: $result ($reader, $ms ms)"
        want=right
        [ "$name" = nothing ] && want=none
        if ! as_wanted "$app" "$name" "$result" "$want"; then
            :
        elif [ "$want" = right ] && [ "$reader" != ax ]; then
            fail "$app $name: read from the screen, not through accessibility"
        fi
    done
    stop_app
done

finish_cases
