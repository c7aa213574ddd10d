#!/usr/bin/env bash
# Accuracy of the screen reader on real terminal renderings. On a private Xvfb
# with a coloured desktop, xterm and urxvt show a page of image references
# (relative, absolute, bare, versioned, zero-heavy names) and negatives (prose,
# a bare name two files have, a missing near twin one digit away from a file
# that exists), in eight fonts, at 9 to 20 points, at one and two pixels per
# point (Xft.dpi 192), in five colour schemes. Each page is screenshotted
# once; every reference and negative on it becomes one sample with the pointer
# on its middle character. bench_terminal_accuracy then reads each sample as
# the agent does (the strip round the pointer, its tiles, recognition, choice,
# resolution) and prints the figures per terminal, font, size, scheme and
# kind. The QPainter corpus (bench_reference_accuracy) is printed after it.
#
#   bench_terminal_accuracy.sh BUILD_DIR [CORPUS_DIR]
#       BUILD_DIR: a build with the benchmarks (build/debug or build/release)
#       CORPUS_DIR: keep the screenshots and their manifest there (else a
#       temporary folder); an existing manifest there is read again, not redrawn
#   VISTEL_TERMINAL_ONLY=1   skip the QPainter corpus
#
# The fonts are Debian packages that scripts/install-deps installs with the
# benchmarks' group: fonts-dejavu-core fonts-liberation fonts-noto-mono
# fonts-freefont-ttf fonts-hack fonts-inconsolata fonts-firacode xfonts-base
# xfonts-terminus. The pages are the same on every run (no randomness), and
# the fixture project sits at a fixed place because absolute paths are drawn.
set -uo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
source "$here/../tests/e2e/lib.sh"

build=$(cd "${1:?usage: bench_terminal_accuracy.sh BUILD_DIR [CORPUS_DIR]}" && pwd) || exit 1
reader="$build/bench/bench_terminal_accuracy"
[ -x "$reader" ] || { echo "no $reader: build the target bench_terminal_accuracy"; exit 1; }
for tool in Xvfb xdotool xterm urxvt import xsetroot xrdb flock; do
    command -v "$tool" >/dev/null || { echo "$tool is not installed (scripts/install-deps installs it)"; exit 1; }
done

tmp=$(mktemp -d)
pids=()
corpus=${2:-$tmp/corpus}
project=/tmp/vistel-terminal-corpus
cleanup() {
    stop_started
    rm -rf "$tmp"
}
trap cleanup EXIT
die() {
    echo "$*"
    exit 1
}

exec 9>"$project.lock"
flock -n 9 || die "another run of this benchmark holds $project; try again later"
isolate_session
export OMP_THREAD_LIMIT=1

# ---- The fixture project ----------------------------------------------------
# Every reference names a file; half of them have a twin one digit away, so a
# misread digit can land on a wrong file. Names that exist twice and near twins
# that do not exist are the negatives.
rm -rf "$project"
mkdir -p "$project/.git"
touch_file() { mkdir -p "$(dirname "$project/$1")" && printf x >"$project/$1"; }
# The name with its last digit turned to the next one.
next_digit() {
    local name=$1 i c
    for ((i = ${#name} - 1; i >= 0; i--)); do
        c=${name:i:1}
        if [[ $c == [0-9] ]]; then
            echo "${name:0:i}$(((c + 1) % 10))${name:i+1}"
            return
        fi
    done
    echo "$name"
}

folders=(shots assets/icons out/renders docs/images media/artifacts public/img)
words=(hero-frame diagram screenshot render thumbnail avatar banner chart sprite texture preview mockup)
numbers=(0042 17 309 04 2030 100 7 0815 64 1010 250 58)
extensions=(png jpg webp gif jpeg png)
duplicates=(logo-7.png cover-2019.png favicon-32.png)
for name in "${duplicates[@]}"; do
    touch_file "assets/$name"
    touch_file "docs/$name"
done

# The references of page k: the k-th of each kind, cycling through the lists.
relative_of() { echo "${folders[$1 % 6]}/${words[$1 % 12]}-${numbers[($1 * 5 + $1 / 12) % 12]}.${extensions[$1 % 6]}"; }
absolute_of() { echo "$project/${folders[($1 + 2) % 6]}/${words[($1 + 3) % 12]}-${numbers[($1 * 7 + 1) % 12]}.${extensions[($1 + 1) % 6]}"; }
bare_of() { echo "step-${numbers[($1 + 3) % 12]}-${words[($1 + 5) % 12]}.png"; }
version_of() { echo "${folders[($1 + 4) % 6]}/${words[($1 + 7) % 12]}-v$(($1 % 4)).$((($1 * 3) % 10)).0$( (($1 % 3 == 0)) && echo @2x).png"; }
zero_of() { printf 'take-0%02d0.png\n' "$1"; }
missing_of() { echo "out/renders/frame-0${numbers[$1 % 12]}.png"; }

# ---- The pages --------------------------------------------------------------
# A page is one terminal window: its rows, and which rows carry a sample.
page_rows() {
    local k=$1
    rows=(
        "$ ./render --all"
        "wrote $(relative_of "$k")"
        "The render finished without errors."
        "see $(absolute_of "$k") now"
        "$(bare_of "$k")  $(zero_of "$k")"
        "open $(version_of "$k")"
        "copied ${duplicates[k % 3]}"
        "missing $(missing_of "$k")"
    )
}
# Fixture files for page k (the missing near twin's neighbour exists; the twin does not).
page_files() {
    local k=$1 name
    touch_file "$(relative_of "$k")"
    touch_file "${folders[($k + 1) % 6]}/$(bare_of "$k")"
    touch_file "${folders[($k + 5) % 6]}/$(zero_of "$k")"
    touch_file "$(version_of "$k")"
    name=$(absolute_of "$k")
    touch_file "${name#"$project"/}"
    if ((k % 2 == 0)); then
        touch_file "$(next_digit "$(relative_of "$k")")"
        touch_file "${folders[($k + 1) % 6]}/$(next_digit "$(bare_of "$k")")"
    fi
    touch_file "$(next_digit "$(missing_of "$k")")"
}
# The samples of the page in rows: row, the text pointed at, kind, expected file ("-": none).
page_samples() {
    local k=$1 a
    a=$(absolute_of "$k")
    printf '%s\t%s\t%s\t%s\n' \
        1 "$(relative_of "$k")" relative "$project/$(relative_of "$k")" \
        2 "finished" prose - \
        3 "$a" absolute "$a" \
        4 "$(bare_of "$k")" bare "$project/${folders[($k + 1) % 6]}/$(bare_of "$k")" \
        4 "$(zero_of "$k")" zeros "$project/${folders[($k + 5) % 6]}/$(zero_of "$k")" \
        5 "$(version_of "$k")" version "$project/$(version_of "$k")" \
        6 "${duplicates[k % 3]}" twice - \
        7 "$(missing_of "$k")" "near twin" -
}

schemes=(default solarized-dark solarized-light green-on-black white-on-black)
colours_of() {
    case $1 in
    solarized-dark) echo "-bg #002b36 -fg #839496" ;;
    solarized-light) echo "-bg #fdf6e3 -fg #657b83" ;;
    green-on-black) echo "-bg black -fg #00ff00" ;;
    white-on-black) echo "-bg black -fg white" ;;
    *) echo "" ;;
    esac
}

# Every page: terminal, font, points (or "bitmap"), scale, scheme. Each font
# meets every size and every scheme, and both terminals take turns.
fonts=("DejaVu Sans Mono" "Liberation Mono" "Noto Mono" "FreeMono" "Hack" "Inconsolata" "Fira Code")
sizes=(9 11 13 16 20)
pages=()
for f in "${!fonts[@]}"; do
    for s in "${!sizes[@]}"; do
        terminal=$(((f + s) % 2 == 0 ? 0 : 1))
        pages+=("$([ $terminal = 0 ] && echo xterm || echo urxvt)|${fonts[f]}|${sizes[s]}|1|${schemes[(f + s) % 5]}")
    done
    # Two pixels per point: the same font at 9 and 12 points under Xft.dpi 192.
    for s in 9 12; do
        pages+=("$( ((f % 2)) && echo urxvt || echo xterm)|${fonts[f]}|$s|2|${schemes[(f + s) % 5]}")
    done
done
# Bitmap fonts (no scaling): X's fixed faces and Terminus at several pixel sizes.
bitmaps=("fixed|6x13" "fixed|9x15" "fixed|10x20" "Terminus|-xos4-terminus-medium-r-normal--14-*-*-*-*-*-iso10646-1"
    "Terminus|-xos4-terminus-medium-r-normal--16-*-*-*-*-*-iso10646-1"
    "Terminus|-xos4-terminus-medium-r-normal--20-*-*-*-*-*-iso10646-1"
    "Terminus|-xos4-terminus-bold-r-normal--24-*-*-*-*-*-iso10646-1"
    "Terminus|-xos4-terminus-medium-r-normal--32-*-*-*-*-*-iso10646-1")
for b in "${!bitmaps[@]}"; do
    pages+=("$( ((b % 2)) && echo urxvt || echo xterm)|${bitmaps[b]%%|*}:${bitmaps[b]#*|}|bitmap|1|${schemes[b % 5]}")
done

for k in "${!pages[@]}"; do
    page_files "$k"
done

manifest="$corpus/manifest.tsv"
if [ -s "$manifest" ]; then
    echo "reading the corpus again: $manifest"
else
    mkdir -p "$corpus"
    start_xvfb 1920x760 || die "no private X server"
    # A desktop colour beside the window, as on most desktops (Xvfb's own is black).
    xsetroot -solid '#5f7f9f'
    columns=80
    printf '# image\tterminal\tfont\tpoints\tscale\tscheme\tkind\tx\ty\texpected\ttext\n' >"$manifest.part"
    for k in "${!pages[@]}"; do
        IFS='|' read -r terminal font points scale scheme <<<"${pages[k]}"
        page_rows "$k"
        text=$(printf '%s\\n' "${rows[@]}")
        echo "Xft.dpi: $((96 * scale))" | xrdb -merge
        title="corpus-page-$k"
        face=()
        if [ "$points" = bitmap ]; then
            face=(-fn "${font#*:}")
            font=${font%%:*}
            [ "$font" = fixed ] && font="fixed ${face[1]}"
        elif [ "$terminal" = xterm ]; then
            face=(-fa "$font" -fs "$points")
        else
            face=(-fn "xft:$font:size=$points")
        fi
        geometry="${columns}x$((${#rows[@]} + 2))+0+0"
        # shellcheck disable=SC2046 # the scheme's options are words
        if [ "$terminal" = xterm ]; then
            (cd "$project" && exec xterm -geometry "$geometry" -bw 0 -b 2 "${face[@]}" $(colours_of "$scheme") \
                -T "$title" -e sh -c 'printf "$1"; exec sleep 600' sh "$text") &
        else
            (cd "$project" && exec urxvt -geometry "$geometry" -b 2 +sb "${face[@]}" $(colours_of "$scheme") \
                -title "$title" -e sh -c 'printf "$1"; exec sleep 600' sh "$text") &
        fi
        term_pid=$!
        wait_for 10 xdotool search --name "^$title\$" >/dev/null || die "page $k: the terminal did not appear (${pages[k]})"
        window=$(xdotool search --name "^$title\$" | head -n1)
        xdotool windowfocus "$window" 2>/dev/null # a focused terminal draws its block cursor
        sleep 0.6
        eval "$(xdotool getwindowgeometry --shell "$window")"
        image="page-$k.png"
        import -window root "$corpus/$image" || die "page $k: no screenshot"
        kill "$term_pid" 2>/dev/null
        wait "$term_pid" 2>/dev/null
        # Cells from the window's size: 2 pixels of border round columns x rows.
        rows_shown=$((${#rows[@]} + 2))
        while IFS=$'\t' read -r row pointed kind expected; do
            line=${rows[row]}
            before=${line%%"$pointed"*}
            column=$((${#before} + ${#pointed} / 2))
            read -r x y < <(awk -v w="$WIDTH" -v h="$HEIGHT" -v c="$columns" -v r="$rows_shown" \
                -v col="$column" -v row="$row" \
                'BEGIN { printf "%.1f %.1f\n", 2 + (col + 0.5) * (w - 4) / c, 2 + (row + 0.5) * (h - 4) / r }')
            printf '%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\t%s\n' "$image" "$terminal" "$font" "$points" "$scale" \
                "$scheme" "$kind" "$x" "$y" "$expected" "$line" >>"$manifest.part"
        done < <(page_samples "$k")
    done
    mv "$manifest.part" "$manifest"
    echo "corpus: ${#pages[@]} pages, $(($(wc -l <"$manifest") - 1)) samples in $corpus"
fi

(cd "$project" && QT_QPA_PLATFORM=offscreen "$reader" "$manifest" "$project")
status=$?
if [ -z "${VISTEL_TERMINAL_ONLY:-}" ] && [ -x "$build/bench/bench_reference_accuracy" ]; then
    echo
    echo "---- QPainter corpus (bench_reference_accuracy)"
    # It draws its own strips: no X server needed (none runs when the corpus is read again).
    QT_QPA_PLATFORM=offscreen "$build/bench/bench_reference_accuracy" || status=1
fi
exit $status
