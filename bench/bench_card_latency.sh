#!/usr/bin/env bash
# Latency from pressing Alt to the card on screen, read from an xterm's pixels
# (xterm publishes no text, so every preview goes through screen capture and
# recognition). On a private Xvfb, an xterm whose shell works in a fixture
# project prints four image paths; the pointer rests on one, Alt goes down,
# and the clock stops when the card's window is mapped (watched with xev).
# Twenty presses over the four paths; prints the median and the worst, in
# milliseconds.
#
#   bench_card_latency.sh path/to/VistelPrototype     (a release build gives the real figure)
set -uo pipefail
source "$(dirname "$0")/../tests/e2e/lib.sh"
wait_step=0.05 # latency is measured by these waits

agent=${1:?usage: bench_card_latency.sh path/to/VistelPrototype}
for tool in Xvfb xdotool xev xterm convert xsetroot; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps installs it)"; exit 1; }
done
runs=20

tmp=$(mktemp -d)
project="/tmp/vistel-latency-$$" # drawn on the screen: words and digits only
pids=()
trap stop_run EXIT
die() {
    echo "$*"
    exit 1
}
card_hidden() { ! card_shown; }

isolate_session
export OMP_THREAD_LIMIT=1

mkdir -p "$project/.git" "$project/shots" "$project/renders"
names=(shots/red-square.png shots/blue-circle.png renders/frame-0042.png renders/hero-frame@2x.png)
colours=(red blue green purple)
for i in "${!names[@]}"; do
    convert -size 640x400 "xc:${colours[i]}" "$project/${names[i]}" || die "cannot make ${names[i]}"
done

start_xvfb 1280x800 || die "no private X server"
paint_desktop 1280x800

# Rows 0, 2, 4, 6: "wrote <path>" (relative to the shell's folder); absolute on rows 2 and 6.
text="wrote ${names[0]}\n\nwrote $project/${names[1]}\n\nwrote ${names[2]}\n\nwrote $project/${names[3]}\n"
columns=80
rows=10
start_xterm latency-terminal "$columns" "$rows" "$text" || die "the terminal did not appear"

watch_maps
"$agent" ${VISTEL_BENCH_LOG:+--debug} >"$tmp/agent.log" 2>&1 &
pids+=($!)
wait_for 60 grep -qs '^Vistel is running\.' "$tmp/agent.log" || die "the agent did not start"
sleep 2 # the recogniser warms up in the background at launch

times=()
for ((run = 0; run < runs; run++)); do
    row=$(((run % 4) * 2))
    xdotool mousemove $(cell_point 12 "$row")
    sleep 0.3
    start=$EPOCHREALTIME
    xdotool keydown alt
    if wait_for 10 card_shown; then
        mapped=$(map_after "$start")
        times+=($(awk -v a="$start" -v b="${mapped:-$EPOCHREALTIME}" 'BEGIN { printf "%d", (b - a) * 1000 }'))
    else
        times+=(99999)
        echo "run $run: no card within 10 s"
    fi
    xdotool keyup alt
    wait_for 3 card_hidden || die "the card stayed after Alt was released"
    # A user pauses between two looks; the card's last place is also left out of
    # captures for a second after it hides (its pixels may linger on the screen).
    sleep 1.2
done
[ -n "${VISTEL_BENCH_LOG:-}" ] && cp "$tmp/agent.log" "$VISTEL_BENCH_LOG"

sorted=($(printf '%s\n' "${times[@]}" | sort -n))
echo "key press to card on screen, xterm read from the screen, $runs presses over 4 paths:"
echo "  median ${sorted[$((runs / 2))]} ms, worst ${sorted[$((runs - 1))]} ms (all: ${times[*]})"
