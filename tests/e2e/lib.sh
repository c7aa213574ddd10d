# Shared by the end-to-end scripts, the whole-agent benchmarks and scripts/demo:
# a private X server, an environment that keeps the machine's own settings and
# session bus out of reach, and waiting for things to happen.
#
# The sourcing script owns two variables: tmp (a fresh folder, removed by its
# own cleanup) and pids (background processes, stopped newest first).

# wait_for SECONDS COMMAND...: true as soon as COMMAND succeeds, asked every
# $wait_step seconds (0.1 unless the script sets it).
wait_for() {
    local deadline=$((SECONDS + $1))
    shift
    until "$@"; do
        [ $SECONDS -ge $deadline ] && return 1
        sleep "${wait_step:-0.1}"
    done
}

# The agent's card is on screen.
card_shown() { xdotool search --onlyvisible --name '^Vistel preview$' >/dev/null 2>&1; }

# HOME, the XDG folders and the session bus inside $tmp, and no Wayland.
isolate_session() {
    export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache" XDG_RUNTIME_DIR="$tmp/run"
    export DBUS_SESSION_BUS_ADDRESS="unix:path=$tmp/no-bus"
    mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR"
    chmod 700 "$XDG_RUNTIME_DIR"
    unset WAYLAND_DISPLAY
}

# start_xvfb WIDTHxHEIGHT: a private X server on a free display, exported as
# DISPLAY once it answers. -noreset: without it the server resets when its last
# client leaves and refuses the next one for a moment.
start_xvfb() {
    local named
    named=$(mktemp -p "$tmp" display.XXXXXX) # one per server: a script may start two
    Xvfb -displayfd 3 -screen 0 "$1x24" -nolisten tcp -noreset 3>"$named" 2>>"$tmp/xvfb.log" &
    pids+=($!)
    wait_for 10 grep -qs . "$named" || { echo "Xvfb named no display"; return 1; }
    export DISPLAY=":$(head -n1 "$named")"
    wait_for 10 xdotool getmouselocation >/dev/null 2>&1 || { echo "cannot connect to $DISPLAY"; return 1; }
}

# paint_desktop WIDTHxHEIGHT: the root window as users have it, beside and
# behind the windows the scripts read: a plain colour, or with
# VISTEL_E2E_DESKTOP=photo a landscape wallpaper (grainy sky, a moon, hills).
# VISTEL_E2E_DESKTOP=white is for a script that still needs it (say why there).
paint_desktop() {
    case "${VISTEL_E2E_DESKTOP:-colour}" in
    white) xsetroot -solid white && return ;;
    photo) ;;
    *) xsetroot -solid '#5f7f9f' && return ;;
    esac
    local w=${1%x*} h=${1#*x}
    convert -size "$((w / 4))x$((h / 4))" -seed 16 plasma:fractal -resize "$1!" -attenuate 0.4 +noise Gaussian \
        -fill '#f4e7c0' -draw "circle $((w * 25 / 32)),$((h * 3 / 16)) $((w * 25 / 32 + h / 13)),$((h * 3 / 16))" \
        -fill '#203018' -draw "polygon 0,$h 0,$((h * 7 / 10)) $((w * 15 / 64)),$((h * 47 / 80)) $((w / 2)),$((h * 59 / 80)) $((w * 45 / 64)),$((h * 5 / 8)) $w,$((h * 3 / 4)) $w,$h" \
        "$tmp/desktop.png" && display -window root "$tmp/desktop.png" 2>/dev/null
}

# watch_maps: from now on, the time (EPOCHREALTIME) of every window mapped on
# the screen, one a line, in $tmp/maps: a card is timed to its window's
# mapping (map_after), which polling for it would overstate by up to one poll
# (an xdotool search takes tens of milliseconds under load).
watch_maps() {
    : >"$tmp/maps"
    stdbuf -oL xev -root -event substructure 2>/dev/null > >(
        while IFS= read -r event; do [[ $event == MapNotify* ]] && echo "$EPOCHREALTIME"; done >>"$tmp/maps"
    ) &
    pids+=($!)
}

# map_after TIME: the time of the first window mapped after TIME (EPOCHREALTIME), if any.
map_after() { awk -v t="$1" '$1 > t { print; exit }' "$tmp/maps" 2>/dev/null; }

# start_xterm TITLE COLUMNS ROWS TEXT [XTERM OPTION...]: an xterm at the top
# left of the screen, its shell working in $project, printing TEXT (a printf
# format) and then waiting; $xterm_show, a sh script given TEXT as $1, replaces
# that. Without options: DejaVu Sans Mono 14 pt, black on white. Once it has
# drawn, WIDTH and HEIGHT hold its size and cell_point gives its character cells.
start_xterm() {
    local title=$1 columns=$2 rows=$3 text=$4 show=${xterm_show:-'printf "$1"; exec sleep 600'}
    shift 4
    [ $# -gt 0 ] || set -- -fa "DejaVu Sans Mono" -fs 14 -bg white -fg black
    (cd "$project" && exec xterm -geometry "${columns}x${rows}+0+0" -bw 0 "$@" -T "$title" -e sh -c "$show" sh \
        "$text") &
    pids+=($!)
    wait_for 10 xdotool search --name "^$title\$" >/dev/null || { echo "the terminal did not appear"; return 1; }
    sleep 1 # let it draw
    eval "$(xdotool getwindowgeometry --shell "$(xdotool search --name "^$title\$" | head -n1)")"
    # xterm draws a 2-pixel inner border round its character cells.
    cell_w=$(((WIDTH - 4) * 1000 / columns))
    cell_h=$(((HEIGHT - 4) * 1000 / rows))
}

# cell_point COLUMN ROW: the middle of that character cell of start_xterm's
# terminal, in root pixels.
cell_point() { echo "$(((2000 + ($1 * 2 + 1) * cell_w / 2) / 1000)) $(((2000 + ($2 * 2 + 1) * cell_h / 2) / 1000))"; }

# start_debug_agent AGENT: the agent with --debug writing to $log (its pid in
# agent_pid), once it says it runs.
start_debug_agent() {
    "$1" --debug >"$log" 2>&1 &
    agent_pid=$!
    pids+=($agent_pid)
    wait_for 60 grep -qs '^Vistel is running\.' "$log" || { echo "the agent did not start"; return 1; }
}

# Stops the background processes in $pids, newest first: the X server goes
# last, after its clients.
stop_started() {
    for ((i = ${#pids[@]} - 1; i >= 0; i--)); do
        kill "${pids[i]}" 2>/dev/null
        wait "${pids[i]}" 2>/dev/null
    done
}

# stop_run: the usual cleanup of a script (trap stop_run EXIT): Alt let go,
# the background processes stopped, $tmp and any fixture folder $project removed.
stop_run() {
    xdotool keyup alt 2>/dev/null
    stop_started
    rm -rf "$tmp" ${project:+"$project"}
}

# require_tools TOOL...: exits 77 (skipped) when Xvfb is missing and 1 when
# another tool is.
require_tools() {
    command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed (scripts/install-deps installs it)"; exit 77; }
    local tool
    for tool in "$@"; do
        command -v "$tool" >/dev/null || { echo "FAIL: $tool is not installed (scripts/install-deps installs it)"; exit 1; }
    done
}

# give_up MESSAGE: says what failed, shows the end of every log of the run
# ($tmp/*.log) and ends the script with status 1.
give_up() {
    echo "FAIL: $*"
    local f
    for f in "$tmp"/*.log; do [ -f "$f" ] && { echo "---- $f"; tail -n 80 "$f"; }; done
    exit 1
}
