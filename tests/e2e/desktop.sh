# A real desktop stack for the end-to-end suite and the application matrix
# (sourced after lib.sh): a private X server with the openbox window manager
# and a coloured root window, a private session bus whose AT-SPI bus comes up
# by D-Bus activation, a fixture project, applications showing the fixture
# text, and one hover per case, classified.
#
# The sourcing script owns tmp, pids and log (the agent's --debug output).

# The applications this stack can start, and how each is expected to be read.
desktop_apps=(xfce4-terminal urxvt mousepad)

# The cases: a label word at the start of a row of the fixture text, the
# characters between the label's end and the pointer, and the file meant
# (empty: no card, the name is ambiguous).
case_names=(absolute relative bare ambiguous)
# A path too long for its row, which the application wraps onto the next one:
# the pointer near the end of the first row, then near the start of the second.
wrapped_case_names=(wrapped-1 wrapped-2)

# make_project DIR: the fixture project (a git root, so bare names are searched).
make_project() {
    project=$1
    rm -rf "$project"
    mkdir -p "$project/.git" "$project/absolute" "$project/shots" "$project/assets/icons" "$project/one" \
        "$project/two" "$project/$wrapped_folder"
    local f
    for f in absolute/blue-circle.png:blue shots/red-square.png:red assets/icons/green-leaf.png:green \
        one/twin-picture.png:yellow two/twin-picture.png:orange "$wrapped_folder/sunset-over-the-hills.png:purple"; do
        convert -size 120x80 "xc:${f#*:}" "$project/${f%%:*}" || return 1
    done
    # What every application shows, row by row; blank rows keep the cases apart (and the
    # first is blank, so that an editor's caret stands on no word).
    printf '%s\n' "" "absolute $project/absolute/blue-circle.png" "" "relative shots/red-square.png" "" \
        "bare green-leaf.png here" "" "twin-picture.png is in two folders" "" \
        "wrapped $project/$wrapped_folder/sunset-over-the-hills.png" >"$project/notes.txt"
}
# Long enough that an 80-column row breaks inside it, whatever the project's name.
wrapped_folder=wrapped/a-folder-with-a-long-name/and-another-long-folder

# case_target NAME: "LABEL CHARS FILE" for the case.
case_target() {
    case $1 in
    absolute) echo "absolute 20 $project/absolute/blue-circle.png" ;;
    relative) echo "relative 10 $project/shots/red-square.png" ;;
    bare) echo "bare 6 $project/assets/icons/green-leaf.png" ;;
    ambiguous) echo "twin-picture.png -12 -" ;;
    wrapped-1 | wrapped-2) echo "wrapped 0 $project/$wrapped_folder/sunset-over-the-hills.png" ;;
    esac
}

accessibility_on() {
    dbus-send --session --print-reply --dest=org.a11y.Bus /org/a11y/bus org.freedesktop.DBus.Properties.Get \
        string:org.a11y.Status string:IsEnabled 2>/dev/null | grep -q 'boolean true'
}

window_manager_running() { xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id'; }

# Failures are counted, not fatal: every case of a run is tried and reported.
failures=0
fail() {
    echo "FAIL: $*"
    failures=$((failures + 1))
}

# as_wanted APP NAME RESULT WANT: true when the case came out as wanted; else
# a failure, with the screen kept in $VISTEL_E2E_SHOTS (or $tmp).
as_wanted() {
    [ "$3" = "$4" ] && return 0
    fail "$1 $2: $3, expected $4"
    cp "$tmp/screen.png" "${VISTEL_E2E_SHOTS:-$tmp}/$1-$2.png" 2>/dev/null
    return 1
}

# finish_cases: the agent's log copied to $VISTEL_E2E_LOG when set; then PASS,
# or the end of the log and exit 1 when a case failed.
finish_cases() {
    [ -n "${VISTEL_E2E_LOG:-}" ] && cp "$log" "$VISTEL_E2E_LOG"
    if [ $failures -gt 0 ]; then
        echo "---- $log"
        tail -n 200 "$log"
        echo "FAIL: $failures case(s)"
        exit 1
    fi
    echo "PASS"
}

# start_desktop: Xvfb with openbox (or the window manager VISTEL_DESKTOP_WM
# names, e.g. dwm, which does not reparent), a coloured root (not white: the screen
# reader must cope with what users have), and a private session bus. The
# machine's own settings stay out of reach (isolate_session; in-memory GSettings).
start_desktop() {
    isolate_session
    export GSETTINGS_BACKEND=memory
    unset AT_SPI_BUS_ADDRESS NO_AT_BRIDGE
    dbus-daemon --session --nofork --print-address=3 3>"$tmp/bus" 2>"$tmp/dbus.log" &
    pids+=($!)
    wait_for 10 grep -qs . "$tmp/bus" || { echo "dbus-daemon printed no address"; return 1; }
    export DBUS_SESSION_BUS_ADDRESS="$(head -n1 "$tmp/bus")"
    start_xvfb 1280x800 || return 1
    local wm=${VISTEL_DESKTOP_WM:-openbox}
    if [ "$wm" = openbox ]; then openbox --sm-disable; else "$wm"; fi >"$tmp/wm.log" 2>&1 &
    pids+=($!)
    wait_for 10 window_manager_running || { echo "$wm did not start"; return 1; }
    xsetroot -solid '#5f7f9f'
}

# start_agent AGENT [ARGUMENT...]: the agent with --debug and the arguments, once
# the bus is there; it switches the session's accessibility on, so applications
# started later publish theirs.
start_agent() {
    "$1" --debug "${@:2}" >"$log" 2>&1 &
    pids+=($!)
    wait_for 60 grep -qs '^Vistel is running\.' "$log" || { echo "the agent did not start"; return 1; }
    wait_for 10 accessibility_on || { echo "the session's accessibility was not switched on"; return 1; }
}

# start_app NAME: the application showing the fixture text, its window active.
# Terminals run a shell working in the project that prints the text.
app_pid=
start_app() {
    local print="cat notes.txt; exec sleep 600" title="vistel-$1"
    case $1 in
    xfce4-terminal)
        (cd "$project" && exec xfce4-terminal --disable-server --hide-menubar --hide-toolbar --hide-scrollbar \
            --geometry 80x12 -T "$title" -x sh -c "$print") >"$tmp/$1.log" 2>&1 &
        ;;
    mate-terminal)
        (cd "$project" && exec mate-terminal --disable-factory --hide-menubar --geometry 80x12 -t "$title" \
            -x sh -c "$print") >"$tmp/$1.log" 2>&1 &
        ;;
    urxvt)
        (cd "$project" && exec urxvt -geometry 80x12 -fn "xft:DejaVu Sans Mono:size=14" -bg white -fg black \
            -title "$title" -e sh -c "$print") >"$tmp/$1.log" 2>&1 &
        ;;
    xterm)
        (cd "$project" && exec xterm -geometry 80x12 -fa "DejaVu Sans Mono" -fs 14 -bg white -fg black \
            -T "$title" -e sh -c "$print") >"$tmp/$1.log" 2>&1 &
        ;;
    kitty)
        (cd "$project" && exec kitty -o initial_window_width=80c -o initial_window_height=12c -o remember_window_size=no \
            --title "$title" sh -c "$print") >"$tmp/$1.log" 2>&1 &
        ;;
    alacritty)
        (cd "$project" && exec alacritty -o window.dimensions.columns=80 -o window.dimensions.lines=12 -t "$title" \
            -e sh -c "$print") >"$tmp/$1.log" 2>&1 &
        ;;
    konsole)
        # Its window is titled "TAB TITLE — Konsole".
        (cd "$project" && exec konsole --separate --hide-menubar --hide-tabbar -p tabtitle="$title" \
            -p TerminalColumns=80 -p TerminalRows=12 -e sh -c "$print") >"$tmp/$1.log" 2>&1 &
        ;;
    chromium)
        (cd / && exec chromium --no-sandbox --user-data-dir="$tmp/chromium" --no-first-run \
            --window-size=800,600 "file://$project/notes.txt") >"$tmp/$1.log" 2>&1 &
        title='notes\.txt'
        ;;
    mousepad)
        # Started elsewhere: only the title ties it to the project's folder. Long
        # lines wrap (set in a settings file of its own: the session's are in memory).
        mkdir -p "$XDG_CONFIG_HOME/glib-2.0/settings"
        printf '[org/xfce/mousepad/preferences/view]\nword-wrap=true\n' >"$XDG_CONFIG_HOME/glib-2.0/settings/keyfile"
        (cd / && GSETTINGS_BACKEND=keyfile exec mousepad "$project/notes.txt") >"$tmp/$1.log" 2>&1 &
        title='notes\.txt - Mousepad'
        ;;
    *) echo "no way to start $1"; return 1 ;;
    esac
    app_pid=$!
    pids+=($app_pid)
    wait_for 20 xdotool search --onlyvisible --name "$title" >/dev/null || { echo "$1 did not appear"; return 1; }
    xdotool search --onlyvisible --name "$title" | head -n1 | xargs -r xdotool windowactivate --sync 2>/dev/null
    sleep 1.5 # let it draw and publish its tree
}

stop_app() {
    [ -n "$app_pid" ] && kill "$app_pid" 2>/dev/null && wait "$app_pid" 2>/dev/null
    app_pid=
    sleep 0.5
}

# screen_words: "X Y W H TEXT" of every word the recogniser reads on the
# screen (enlarged three times, grey; then negated, for light text on a dark
# terminal), in root pixels.
screen_words() {
    import -window root "$tmp/screen.png" 2>/dev/null || return 1
    local look
    for look in "" -negate; do
        convert "$tmp/screen.png" -resize 300% -colorspace Gray $look "$tmp/screen-3x.png" || return 1
        tesseract "$tmp/screen-3x.png" - --psm 11 tsv 2>/dev/null |
            awk -F'\t' 'NR > 1 && $12 != "" { print int($7/3), int($8/3), int($9/3), int($10/3), $12 }'
    done
}

# case_point NAME: "X Y" where the pointer rests for the case, found from where
# the case's label word lies on the screen; nothing when it cannot be found.
# Monospaced text: the label's width gives the pitch.
case_point() {
    local point attempt
    # The script's own recogniser misses a label now and then under load: look twice.
    for attempt in 1 2; do
        point=$(point_from_screen "$1")
        [ -n "$point" ] && { echo "$point"; return 0; }
        sleep 1
    done
    return 1
}

point_from_screen() {
    local label chars file words
    read -r label chars file < <(case_target "$1")
    words=$(screen_words) || return 1
    awk -v label="$label" -v chars="$chars" -v name="$1" '
        { x[NR] = $1; y[NR] = $2; w[NR] = $3; h[NR] = $4; t[NR] = $5 }
        $5 == label && !found { found = NR }
        $5 == "absolute" && !first { first = NR }
        $5 == "relative" && !third { third = NR }
        END {
            if (found) {
                lx = x[found]; ly = y[found]; lw = w[found]; lh = h[found]
                pitch = lw / length(label)
            } else if (name ~ /^wrapped/ && first && third) {
                # A label at the window'"'"'s edge may go unread: the wrapped row is
                # eight rows below the first label, rows apart as the first and third.
                lx = x[first]; lh = h[first]; pitch = w[first] / 8
                ly = y[first] + 4 * (y[third] - y[first])
            } else exit
            if (name == "wrapped-1") {
                # Three characters before the end of the label'"'"'s row.
                right = 0
                for (i = 1; i <= NR; i++)
                    if (y[i] + h[i] / 2 > ly && y[i] + h[i] / 2 < ly + lh && x[i] + w[i] > right) right = x[i] + w[i]
                printf "%d %d\n", right - 3.5 * pitch, ly + lh / 2
            } else if (name == "wrapped-2") {
                # Three characters into the row below, which starts where the label does.
                below = 0
                for (i = 1; i <= NR; i++)
                    if (y[i] > ly + lh * 0.6 && y[i] < ly + lh * 3 && x[i] < lx + 2 * pitch &&
                        (!below || y[i] < y[below])) below = i
                if (below) printf "%d %d\n", x[below] + 3.5 * pitch, y[below] + h[below] / 2
            } else {
                # CHARS past the end of the label.
                printf "%d %d\n", lx + lw + (2 * chars + 1) * pitch / 2, ly + lh / 2
            }
        }' <<<"$words"
}

# hover_case NAME: holds Alt where the case's text is and prints
# "RESULT READER MS AGENT": RESULT right, wrong or none; READER ax, screen or -;
# MS the time from the key to the card's window mapped (seen by watch_maps, or
# else by polling), AGENT the same as the agent logs it, up to showing the card
# ("[card] up N ms after the key"); - without a card.
hover_case() {
    local label chars file point from start result=none reader=- ms=- agent=-
    read -r label chars file < <(case_target "$1")
    point=$(case_point "$1")
    [ -n "$point" ] || { echo "unlocated - -"; return; }
    xdotool mousemove $point
    sleep 0.3
    from=$(($(wc -l <"$log") + 1))
    start=$EPOCHREALTIME
    xdotool keydown alt
    if [ "$file" = - ]; then
        # Nothing to show: wait until the spot was read twice, watching for a card.
        local deadline=$((SECONDS + 20))
        until [ "$(tail -n +"$from" "$log" | grep -c 'no candidate under the pointer')" -ge 2 ] ||
            [ $SECONDS -ge $deadline ]; do
            card_shown && break
            sleep 0.05
        done
    else
        wait_for 15 card_shown
    fi
    if card_shown; then
        local seen=$EPOCHREALTIME
        if [ -s "$tmp/maps" ]; then
            seen=$(map_after "$start")
            [ -n "$seen" ] || seen=$EPOCHREALTIME
        fi
        ms=$(awk -v a="$start" -v b="$seen" 'BEGIN { printf "%d", (b - a) * 1000 }')
        sleep 0.3 # the log line is written before the card is mapped; give it a moment anyway
        local said
        said=$(tail -n +"$from" "$log")
        agent=$(sed -n 's/^ *\[card\] up \([0-9]*\) ms after the key$/\1/p' <<<"$said" | head -n1)
        [ -n "$agent" ] || agent=-
        if [ "$file" != - ] && grep -qxF "  [ax] matched $file" <<<"$said"; then
            result=right reader=ax
        elif [ "$file" != - ] && grep -qF -- "-> $file" <<<"$said"; then
            result=right reader=screen
        else
            result=wrong
            grep -q '^  \[ax\] matched ' <<<"$said" && reader=ax || reader=screen
        fi
    fi
    xdotool keyup alt
    wait_for 3 eval '! card_shown'
    echo "$result $reader $ms $agent"
}
