#!/usr/bin/env bash
# Wayland on GNOME, end to end: a headless GNOME Shell (its own session bus, a
# private system bus where python3-dbusmock plays logind) with Vistel's
# extension enabled, and foot, a Wayland-native terminal, whose shell prints a
# relative image path. Through mutter's remote-desktop API the pointer rests on
# the path and Alt is held: the agent (served by the extension) shows the card
# for that file (the --debug log names it) beside the pointer, and hides it when
# Alt is let go. The card is then a Wayland window (no Xwayland for Qt), which
# only the extension can place: the Shell's own screenshot shows the image in
# the same place. Programs other than the agent are refused by the extension;
# with the extension switched off, the check and the agent say how to enable it
# and fail.
#
#   gnome_shell_e2e.sh path/to/VistelPrototype path/to/extension-folder
#
# Exits 77 (skipped) when gnome-shell, foot, dbus-daemon or python3-dbusmock is missing.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

agent=${1:?usage: gnome_shell_e2e.sh path/to/VistelPrototype path/to/extension}
extension=${2:?usage: gnome_shell_e2e.sh path/to/VistelPrototype path/to/extension}
uuid=$(basename "$extension")
size=1600x900
for tool in gnome-shell foot dbus-daemon gdbus gsettings xdotool; do
    command -v "$tool" >/dev/null || { echo "SKIP: $tool is not installed (scripts/install-deps installs it)"; exit 77; }
done
/usr/bin/python3 -c 'import dbusmock, gi' 2>/dev/null ||
    { echo "SKIP: python3-dbusmock is not installed (scripts/install-deps installs it)"; exit 77; }

tmp=$(mktemp -d)
project="$tmp/project"
pids=()
cleanup() {
    [ -n "${driver_pid:-}" ] && { exec 4>&-; wait "$driver_pid" 2>/dev/null; }
    stop_started
    rm -rf "$tmp"
}
trap cleanup EXIT

log="$tmp/agent.log"
fail() {
    [ -n "${driver_pid:-}" ] && drive release 0xffe9 >/dev/null 2>&1
    give_up "$@"
}

isolate_session
export XDG_DATA_HOME="$tmp/data" XDG_SESSION_TYPE=wayland XDG_CURRENT_DESKTOP=GNOME
unset DISPLAY XAUTHORITY

echo "== buses"
cat >"$tmp/system.conf" <<EOF
<!DOCTYPE busconfig PUBLIC "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>system</type>
  <listen>unix:path=$tmp/system-bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default"><allow send_destination="*"/><allow receive_sender="*"/><allow own="*"/></policy>
</busconfig>
EOF
dbus-daemon --config-file="$tmp/system.conf" --nofork --print-address=3 3>"$tmp/system-address" 2>"$tmp/dbus.log" &
pids+=($!)
dbus-daemon --session --nofork --print-address=3 3>"$tmp/session-address" 2>>"$tmp/dbus.log" &
pids+=($!)
wait_for 10 grep -qs . "$tmp/system-address" || fail "the system bus did not start"
wait_for 10 grep -qs . "$tmp/session-address" || fail "the session bus did not start"
export DBUS_SYSTEM_BUS_ADDRESS=$(head -n1 "$tmp/system-address")
export DBUS_SESSION_BUS_ADDRESS=$(head -n1 "$tmp/session-address")
# GNOME Shell will not start without logind on the system bus.
/usr/bin/python3 -m dbusmock --system --template logind >"$tmp/logind.log" 2>&1 &
pids+=($!)
logind_up() {
    gdbus call --system -d org.freedesktop.DBus -o /org/freedesktop/DBus -m org.freedesktop.DBus.NameHasOwner \
        org.freedesktop.login1 2>/dev/null | grep -q true
}
wait_for 20 logind_up || fail "the mocked logind did not come up"

echo "== GNOME Shell with the extension"
mkdir -p "$XDG_DATA_HOME/gnome-shell/extensions"
ln -s "$(realpath "$extension")" "$XDG_DATA_HOME/gnome-shell/extensions/$uuid"
gsettings set org.gnome.shell enabled-extensions "['$uuid']"
gsettings set org.gnome.shell disable-user-extensions false
# No banners (the lock screen's "requires GDM" notice) over the terminal's first row.
gsettings set org.gnome.desktop.notifications show-banners false
gsettings set org.gnome.desktop.screensaver lock-enabled false
export WAYLAND_DISPLAY="wayland-vistel-e2e-$$"
gnome-shell --headless --wayland --wayland-display="$WAYLAND_DISPLAY" --virtual-monitor "$size" \
    >"$tmp/shell.log" 2>&1 &
pids+=($!)
# check_says PATTERN: the check's report has a line matching it (whatever its status).
check_says() { grep -q -- "$1" <<<"$("$agent" --check 2>&1)"; }
check_answers() { check_says '^shell extension:  answering'; }
wait_for 60 check_answers || fail "the extension does not answer the agent: $("$agent" --check 2>&1)"
check_says '^session:          wayland' || fail "--check names no Wayland session"

# The Shell's Xwayland, where Qt puts the agent's windows.
display=$(grep -o 'Using public X11 display :[0-9]*' "$tmp/shell.log" | grep -o ':[0-9]*' | head -n1)
[ -n "$display" ] || fail "the Shell started no Xwayland"
export DISPLAY=$display XAUTHORITY=$(ls -t "$XDG_RUNTIME_DIR"/.mutter-Xwaylandauth.* 2>/dev/null | head -n1)

echo "== only the agent is answered"
refused=$(gdbus call --session -d org.gnome.Shell -o /com/vistel/Desktop -m com.vistel.Desktop1.Pointer 2>&1)
grep -q AccessDenied <<<"$refused" || fail "another program was answered: $refused"

echo "== a Wayland-native terminal"
mkdir -p "$project/.git" "$project/shots"
convert -size 120x80 xc:red "$project/shots/red-square.png" || fail "cannot make the image"
(cd "$project" && exec foot --fullscreen --font "DejaVu Sans Mono:size=14" \
    bash -c 'printf "shots/red-square.png\n"; exec sleep 600') >"$tmp/foot.log" 2>&1 &
pids+=($!)

echo "== the agent"
"$agent" --debug >"$log" 2>&1 &
agent_pid=$!
pids+=($agent_pid)
wait_for 60 grep -qs '^Vistel is running\.' "$log" || fail "no banner"
grep -q 'Xwayland' "$log" && fail "the agent warned about Xwayland although the extension serves it"

# One remote-desktop session for the whole run: a key it pressed, it releases.
mkfifo "$tmp/drive"
: >"$tmp/drive.out" # the driver opens it only once the FIFO has a writer
/usr/bin/python3 "$(dirname "$0")/remote_desktop.py" "$size" <"$tmp/drive" >"$tmp/drive.out" 2>"$tmp/drive.log" &
driver_pid=$!
exec 4>"$tmp/drive"
answers_past() { [ "$(wc -l <"$tmp/drive.out")" -gt "$1" ]; }
# drive COMMAND: sends it and waits for the driver's answer.
drive() {
    local before
    before=$(wc -l <"$tmp/drive.out")
    echo "$*" >&4
    wait_for 5 answers_past "$before" || return 1
    tail -n1 "$tmp/drive.out" | grep -q '^ok'
}

card_hidden() { ! card_shown; }
# foot's first row: cells 11 x 23 pixels at DejaVu Sans Mono 14, from the top left.
y=12
echo "== hold Alt over the path"
# The Shell starts in its overview, and may still be opening it: Escape leaves
# it for the terminal, until the agent finds foot under the pointer (it logs
# the window once per point, so each attempt moves the pointer a little).
over_terminal() { grep -q '^\[hover\] .* window="foot"' "$log"; }
for attempt in 1 2 3; do
    x=$((100 + attempt))
    drive move $x $y || fail "cannot move the pointer: $(tail -n1 "$tmp/drive.out")"
    drive press 0xff1b && drive release 0xff1b || fail "cannot press Escape"
    drive press 0xffe9 || fail "cannot press Alt: $(tail -n1 "$tmp/drive.out")"
    wait_for 10 over_terminal && break
    drive release 0xffe9 || fail "cannot release Alt"
done
over_terminal || fail "the agent never found the terminal under the pointer"
wait_for 30 grep -qF -- "-> $project/shots/red-square.png" "$log" || fail "the path was not read"
wait_for 10 card_shown || fail "no card"
# The card lies beside the pointer, not across the screen.
eval "$(xdotool search --onlyvisible --name '^Vistel preview$' getwindowgeometry --shell | head -n5)"
dx=$((X > x ? X - x : x - X - WIDTH))
dy=$((Y > y ? Y - y : y - Y - HEIGHT))
[ "$dx" -le 80 ] && [ "$dy" -le 80 ] || fail "the card at $X,$Y (${WIDTH}x$HEIGHT) is far from the pointer at $x,$y"
echo "card at $X,$Y, ${WIDTH}x$HEIGHT, pointer at $x,$y"
drive release 0xffe9 || fail "cannot release Alt"
wait_for 5 card_hidden || fail "the card stayed after Alt was released"

echo "== the card as a Wayland window"
# Without Xwayland Qt cannot place its window: the extension must, and the
# Shell's own picture shows the image inside the frame the card had above.
kill "$agent_pid" && wait "$agent_pid" 2>/dev/null
log="$tmp/agent-wayland.log"
# (Not holding the driver's FIFO open, which would keep the driver from ending.)
QT_QPA_PLATFORM=wayland "$agent" --debug >"$log" 2>&1 4>&- &
pids+=($!)
wait_for 60 grep -qs '^Vistel is running\.' "$log" || fail "no banner from the Wayland agent"
drive press 0xffe9 || fail "cannot press Alt"
wait_for 30 grep -qF -- "[card] showing $project/shots/red-square.png" "$log" || fail "no card as a Wayland window"
# shown_red: the box of pure red in the Shell's picture, as WxH+X+Y ("0x0+…" when none).
shown_red() {
    drive shot "$tmp/shot.png" || fail "no screenshot: $(tail -n1 "$tmp/drive.out")"
    red=$(convert "$tmp/shot.png" -fill black -fuzz 5% +opaque '#ff0000' -format '%@' info:)
    [[ $red =~ ^([0-9]+)x([0-9]+)\+([0-9]+)\+([0-9]+)$ ]] && [ "${BASH_REMATCH[1]}" -gt 0 ] &&
        [ "${BASH_REMATCH[3]}" -ge "$X" ] && [ "${BASH_REMATCH[4]}" -ge "$Y" ] &&
        [ $((BASH_REMATCH[3] + BASH_REMATCH[1])) -le $((X + WIDTH)) ] &&
        [ $((BASH_REMATCH[4] + BASH_REMATCH[2])) -le $((Y + HEIGHT)) ]
}
wait_for 5 shown_red || fail "the image shows at $red, not within the card's place $X,$Y (${WIDTH}x$HEIGHT)"
echo "image at $red"
drive release 0xffe9 || fail "cannot release Alt"

echo "== the extension switched off"
gdbus call --session -d org.gnome.Shell -o /org/gnome/Shell -m org.gnome.Shell.Extensions.DisableExtension "$uuid" \
    >/dev/null || fail "cannot disable the extension"
not_enabled() { check_says '^shell extension:  installed but not enabled'; }
wait_for 10 not_enabled || fail "--check does not say the extension is off: $("$agent" --check 2>&1)"
"$agent" --check >/dev/null 2>&1 && fail "--check succeeds without the extension"
check_says "gnome-extensions enable $uuid" || fail "--check does not say how to enable it"
said=$(timeout 60 "$agent" 2>&1)
status=$?
[ $status -eq 1 ] || fail "the agent ended with status $status without the extension: $said"
grep -qF "gnome-extensions enable $uuid" <<<"$said" || fail "the agent does not say how to enable it: $said"
echo "PASS"
