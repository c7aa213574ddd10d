#!/usr/bin/env bash
# The application matrix: on Xvfb with openbox and the AT-SPI bus (the stack of
# tests/e2e/desktop_e2e.sh), each application that is installed shows the
# fixture text (an absolute path, a relative path, a bare unique name, a name
# two files have, and a path wrapped over two rows); one hover per case
# (the wrapped path twice: on its first row and on its second) prints whether
# the card was right, wrong or absent, the reader that found it (ax:
# accessibility, screen: recognition) and the time from the key going down to
# the card's window mapped on the screen (watched with xev), and as the agent
# logs it, from the tick the key starts to the card being shown. At the end, one row per application: every case as
# RESULT/READER/MS and the median key-to-card times of the cards shown.
#
#   bench_desktop_matrix.sh [--install] path/to/VistelPrototype [APP...]
#   VISTEL_DESKTOP_WM=dwm bench_desktop_matrix.sh ...   (another window manager)
#
# The applications beyond those the end-to-end suite needs are large and left
# out of scripts/install-deps; --install installs them first (Debian packages,
# as root): kitty alacritty konsole mate-terminal chromium. An application
# that is not installed is listed as such and skipped.
#
# Targets: every case right (none for the ambiguous name) and no wrong card;
# VTE terminals, mousepad and chromium through accessibility with a median
# under 100 ms (measure with a release build).
set -uo pipefail
here="$(dirname "$0")"
source "$here/../tests/e2e/lib.sh"
source "$here/../tests/e2e/desktop.sh"
wait_step=0.02 # the key-to-card time is measured by these waits

matrix_packages=(kitty alacritty konsole mate-terminal chromium)
if [ "${1:-}" = --install ]; then
    shift
    DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${matrix_packages[@]}" ||
        { echo "could not install ${matrix_packages[*]}"; exit 1; }
fi
agent=${1:?usage: bench_desktop_matrix.sh [--install] path/to/VistelPrototype [APP...]}
shift
apps=("$@")
[ ${#apps[@]} -gt 0 ] || apps=(xfce4-terminal mate-terminal urxvt xterm mousepad kitty alacritty konsole chromium)
for tool in Xvfb xdotool xev convert import tesseract dbus-daemon "${VISTEL_DESKTOP_WM:-openbox}" xsetroot; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps installs it)"; exit 1; }
done

tmp=$(mktemp -d)
log="$tmp/agent.log"
pids=()
trap stop_run EXIT

make_project "/tmp/vistel-matrix-$$" || { echo "cannot make the fixture project"; exit 1; }
export OMP_THREAD_LIMIT=1
start_desktop || exit 1
start_agent "$agent" || exit 1
watch_maps
sleep 2 # the recogniser warms up in the background at launch

median() { sort -n | awk 'NF { v[++n] = $1 } END { if (n == 0) print "-"; else print v[int((n + 1) / 2)] }'; }

cases=("${case_names[@]}" "${wrapped_case_names[@]}")
printf '%-16s %-10s %-10s %-7s %-6s %s\n' application case result reader ms agent-ms
right=0 wrong=0 missed=0
summary=()
for app in "${apps[@]}"; do
    if ! command -v "$app" >/dev/null; then
        printf '%-16s (not installed)\n' "$app"
        summary+=("$(printf '%-16s (not installed)' "$app")")
        continue
    fi
    start_app "$app" >/dev/null || {
        printf '%-16s (did not start under Xvfb)\n' "$app"
        summary+=("$(printf '%-16s (did not start under Xvfb)' "$app")")
        stop_app
        continue
    }
    times=() agent_times=()
    row=$(printf '%-16s' "$app")
    for name in "${cases[@]}"; do
        read -r result reader ms agent < <(hover_case "$name")
        printf '%-16s %-10s %-10s %-7s %-6s %s\n' "$app" "$name" "$result" "$reader" "$ms" "$agent"
        row+=$(printf ' %-18s' "$result/$reader/$ms")
        want=right
        [ "$name" = ambiguous ] && want=none
        if [ "$result" = "$want" ]; then right=$((right + 1)); elif [ "$result" = wrong ]; then wrong=$((wrong + 1)); else missed=$((missed + 1)); fi
        [ "$ms" != - ] && times+=("$ms")
        [ "${agent:--}" != - ] && agent_times+=("$agent")
    done
    summary+=("$row $(printf '%-9s %s' "$(printf '%s\n' "${times[@]}" | median)" \
        "$(printf '%s\n' "${agent_times[@]}" | median)")")
    stop_app
done
echo
printf '%-16s' application
printf ' %-18s' "${cases[@]}"
echo ' median ms (seen here, in the agent)'
printf '%s\n' "${summary[@]}"
echo "as expected: $right  wrong card: $wrong  missed or unexpected: $missed"
[ -n "${VISTEL_BENCH_LOG:-}" ] && cp "$log" "$VISTEL_BENCH_LOG"
[ $wrong -eq 0 ]
