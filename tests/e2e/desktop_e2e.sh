#!/usr/bin/env bash
# The agent on a real desktop stack: Xvfb with the openbox window manager (which
# reparents every window into a frame of its own), a private session bus with
# the AT-SPI bus, and real applications, one at a time, each showing
#   an absolute path, a relative path (printed by a shell working in a fixture
#   project, or in a document of that project), a bare name only one file of
#   the project has, and a name two files have.
# The first three must show the card for the right file, the last none.
# xfce4-terminal must be read through accessibility ("  [ax] matched"), urxvt
# from the screen; mousepad either way (the log says which).
#
#   desktop_e2e.sh path/to/VistelPrototype
#
# Exits 77 (skipped) only when Xvfb is missing.
set -uo pipefail
here="$(dirname "$0")"
source "$here/lib.sh"
source "$here/desktop.sh"

agent=${1:?usage: desktop_e2e.sh path/to/VistelPrototype}
require_tools xdotool convert import tesseract dbus-daemon dbus-send openbox xsetroot xprop "${desktop_apps[@]}"
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "FAIL: at-spi2-core is not installed (scripts/install-deps installs it)"; exit 1; }

tmp=$(mktemp -d)
log="$tmp/agent.log"
pids=()
trap stop_run EXIT

# Drawn on the screen and read back: words and digits only.
make_project "/tmp/vistel-desktop-e2e-$$" || give_up "cannot make the fixture project"

echo "== Xvfb, openbox, session and accessibility buses"
start_desktop || give_up "no desktop"
echo "== agent"
start_agent "$agent" || give_up "no agent"

for app in "${desktop_apps[@]}"; do
    echo "== $app"
    start_app "$app" || { fail "$app did not start"; continue; }
    for name in "${case_names[@]}"; do
        read -r result reader ms _ < <(hover_case "$name")
        echo "-- $app $name: $result ($reader, $ms ms)"
        want=right
        [ "$name" = ambiguous ] && want=none
        if ! as_wanted "$app" "$name" "$result" "$want"; then
            :
        elif [ "$want" = right ] && [ "$app" = xfce4-terminal ] && [ "$reader" != ax ]; then
            fail "$app $name: read from the screen, not through accessibility"
        elif [ "$want" = right ] && [ "$app" = urxvt ] && [ "$reader" != screen ]; then
            fail "$app $name: read through accessibility, but urxvt publishes no text"
        fi
    done
    stop_app
done

finish_cases
