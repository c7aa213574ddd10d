#!/usr/bin/env bash
# Resident memory of the agent on a private Xvfb: idle after start-up (the
# recognition engine warmed), then after a few screen readings over a
# terminal showing an image path. Target: under 150 MB. Prints figures only.
#
#   bench/bench_agent_memory.sh path/to/VistelPrototype   (a release build)
set -uo pipefail
source "$(dirname "$0")/../tests/e2e/lib.sh"

agent=${1:?usage: bench_agent_memory.sh path/to/VistelPrototype}
tmp=$(mktemp -d)
project=/tmp/vistel-memory-bench-$$
pids=()
trap stop_run EXIT
rss_mb() { awk '/^VmRSS:/ { printf "%.1f", $2 / 1024 }' "/proc/$1/status"; }

isolate_session

mkdir -p "$project/.git" "$project/shots"
convert -size 1600x1200 plasma:fractal "$project/shots/large-render.png"

start_xvfb 1280x720 || { echo "bench: no private X server"; exit 1; }
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
