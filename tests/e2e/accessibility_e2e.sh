#!/usr/bin/env bash
# The agent reading a path through accessibility, end to end: on a private Xvfb
# and session bus (whose AT-SPI bus comes up by D-Bus activation), a Qt text view
# publishes what a shell printed in a test folder; holding Alt over the relative
# path shows the card for the right file and logs "  [ax] matched ", moving off
# the line hides it, and releasing Alt keeps it hidden.
#
#   accessibility_e2e.sh path/to/VistelPrototype path/to/accessible_text_window
#
# Exits 77 (skipped) when Xvfb, dbus-daemon or the AT-SPI launcher is missing.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

agent=${1:?usage: accessibility_e2e.sh path/to/VistelPrototype path/to/accessible_text_window}
window=${2:?usage: accessibility_e2e.sh path/to/VistelPrototype path/to/accessible_text_window}
for tool in Xvfb dbus-daemon; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/install-deps installs it)"; exit 77; }
done
[ -x /usr/libexec/at-spi-bus-launcher ] || { echo "SKIP: at-spi2-core is not installed"; exit 77; }
for tool in xdotool dbus-send convert; do
    command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/install-deps installs it)"; exit 1; }
done

tmp=$(mktemp -d)
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    for log in "$tmp"/*.log; do [ -f "$log" ] && { echo "---- $log"; cat "$log"; }; done
    exit 1
}

logged() { grep -qE "$2" "$1"; }
accessibility_on() {
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Get \
        string:org.a11y.Status string:IsEnabled 2>/dev/null | grep -q 'boolean true'
}

# The machine's own settings and session stay out of reach; the launcher keeps
# the desktop settings it writes in memory.
isolate_session # its own session bus is started below
export GSETTINGS_BACKEND=memory
unset AT_SPI_BUS_ADDRESS

echo "== private X server and session bus"
start_xvfb 1280x800 || fail "no private X server"
dbus-daemon --session --nofork --print-address=3 3>"$tmp/bus" 2>"$tmp/dbus.log" &
pids+=($!)
wait_for 10 grep -q . "$tmp/bus" || fail "dbus-daemon printed no address"
export DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$tmp/bus")"

echo "== a text view showing what a shell printed in the project folder"
mkdir -p "$tmp/work/shots"
convert -size 120x80 xc:red "$tmp/work/shots/hero-frame@2x.png" || fail "cannot make the test image"
convert -size 120x80 xc:blue "$tmp/work/hero-frame@2x.png" || fail "cannot make the decoy image"
QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 "$window" --folder "$tmp/work" \
    --caption "accessible terminal" --needle "shots/hero" \
    --command 'printf "\$ make shots\nwrote shots/hero-frame@2x.png in 12 ms\n\$ "' >"$tmp/window.out" 2>"$tmp/window.log" &
pids+=($!)
wait_for 20 grep -q '^ready$' "$tmp/window.out" || fail "the text view did not come up"
read -r _ _ x y < <(grep '^needle 0 ' "$tmp/window.out")

echo "== the agent"
"$agent" --debug >"$tmp/agent.log" 2>&1 &
pids+=($!)
wait_for 30 logged "$tmp/agent.log" '^Vistel is running\.' || fail "no banner"
wait_for 10 accessibility_on ||
    fail "the agent did not switch the session's accessibility on (is the AT-SPI reader passed to the controller?)"

echo "== holding Alt over the path"
xdotool mousemove "$x" "$y"
xdotool keydown alt
wait_for 20 logged "$tmp/agent.log" "^  \[ax\] matched $tmp/work/shots/hero-frame@2x\.png\$" ||
    fail "no '  [ax] matched' line for the path (is the AT-SPI reader passed to the controller?)"
logged "$tmp/agent.log" "^\[hover\] $x,$y ax=AX[A-Za-z]+ base=- window=\"accessible terminal\"\$" ||
    fail "no [hover] line naming an accessible element and its window"
wait_for 10 card_shown || fail "no card for the path under the pointer"

echo "== moving off the line"
xdotool mousemove "$x" $((y + 150))
wait_for 5 eval '! card_shown' || fail "the card stayed after the pointer left the line"

echo "== releasing Alt"
xdotool keyup alt
sleep 0.5
card_shown && fail "a card came back after Alt was released"

echo "PASS"
