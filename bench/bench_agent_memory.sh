#!/usr/bin/env bash
# Resident memory of the agent on a private Xvfb: idle after start-up (the
# recognition engine warmed), then after a few screen readings over a
# terminal showing an image path. Target: under 150 MB. Prints figures only.
#
#   bench/bench_agent_memory.sh path/to/VistelPrototype   (a release build)
set -uo pipefail

agent=${1:?usage: bench_agent_memory.sh path/to/VistelPrototype}
tmp=$(mktemp -d)
project=/tmp/vistel-memory-bench-$$
pids=()
cleanup() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null
        wait "${pids[i]}" 2>/dev/null
    done
    rm -rf "$tmp" "$project"
}
trap cleanup EXIT
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep 0.1
    done
}
rss_mb() { awk '/^VmRSS:/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }

export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_RUNTIME_DIR="$tmp/run"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$tmp/no-bus"
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY

mkdir -p "$project/.git" "$project/shots"
convert -size 1600x1200 plasma:fractal "$project/shots/large-render.png"

Xvfb -displayfd 3 -screen 0 1280x720x24 -nolisten tcp -noreset 3>"$tmp/display" 2>/dev/null &
pids+=($!)
wait_for 10 grep -qs . "$tmp/display" || { echo "Xvfb did not start"; exit 1; }
export DISPLAY=":$(head -n1 "$tmp/display")"
(cd "$project" && exec xterm -bw 0 -geometry 70x10+0+0 -fa "DejaVu Sans Mono" -fs 14 -bg white -fg black \
    -T memory-terminal -e sh -c 'printf "wrote shots/large-render.png\n"; exec sleep 300') &
pids+=($!)
wait_for 10 xdotool search --name '^memory-terminal$' >/dev/null || { echo "no terminal"; exit 1; }

"$agent" >"$tmp/agent.log" 2>&1 &
agent_pid=$!
pids+=($agent_pid)
wait_for 30 grep -q '^Vistel is running' "$tmp/agent.log" || { cat "$tmp/agent.log"; exit 1; }
sleep 3 # the recogniser warms on a worker after the banner
idle=$(rss_mb $agent_pid)

for x in 60 120 180 240; do
    xdotool mousemove $x 12 keydown alt
    sleep 1.5
    xdotool keyup alt
    sleep 0.3
done
after=$(rss_mb $agent_pid)

echo "agent resident memory: idle ${idle} MB, after 4 readings and a preview ${after} MB (target < 150 MB)"
