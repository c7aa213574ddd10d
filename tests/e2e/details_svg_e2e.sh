#!/usr/bin/env bash
# Image details and SVG end to end: in an xterm whose shell works in a fixture
# folder, with "Show image details" on, holding Alt over a 1920 × 1080 photo's
# name shows a card whose caption reads the name, "1920 × 1080" and the file's
# size (read back off the card by tesseract); over an SVG icon's name a card
# shows the icon drawn (its two colours are on the card); over SVGs with
# billion-laughs entities, an outside href and a 100000 × 100000 view box no
# card shows, and a real image previews right after them.
#
#   details_svg_e2e.sh path/to/VistelPrototype
#
# Saves the cards as details-card.png, svg-card.png and after-card.png in
# $VISTEL_E2E_SHOTS and the agent's log as $VISTEL_E2E_LOG when those are set.
# Exits 77 (skipped) only when Xvfb is missing.
set -uo pipefail
source "$(dirname "$0")/lib.sh"

agent=${1:?usage: details_svg_e2e.sh path/to/VistelPrototype}
require_tools xdotool xterm convert tesseract gzip

tmp=$(mktemp -d)
project="/tmp/vistel-details-e2e-$$"
pids=()
cleanup() {
    stop_started
    [ -n "${VISTEL_E2E_LOG:-}" ] && cp "$log" "$VISTEL_E2E_LOG" 2>/dev/null
    rm -rf "$tmp" "$project"
}
trap cleanup EXIT
log="$tmp/agent.log"
fail() { give_up "$@"; }
answered() { tail -n +"$from" "$log" | grep -qF -- "-> $1"; }
card_hidden() { ! card_shown; }

isolate_session

echo "== fixture folder"
mkdir -p "$project/.git" "$XDG_CONFIG_HOME/vistel"
convert -size 1920x1080 gradient:navy-orange "$project/wide-photo.png" || fail "cannot make the photo"
cat >"$project/app-icon.svg" <<'SVG'
<?xml version="1.0" encoding="UTF-8"?>
<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24" viewBox="0 0 24 24">
  <rect width="24" height="24" rx="4" fill="#ffd000"/>
  <circle cx="12" cy="12" r="7" fill="#1060e0"/>
</svg>
SVG
{
    printf '<?xml version="1.0"?>\n<!DOCTYPE svg [<!ENTITY l0 "lol">'
    for i in 1 2 3 4 5 6 7 8 9; do
        printf '<!ENTITY l%d "' "$i"
        for _ in 1 2 3 4 5 6 7 8 9 10; do printf '&l%d;' $((i - 1)); done
        printf '">'
    done
    printf ']>\n<svg xmlns="http://www.w3.org/2000/svg" width="40" height="40"><text y="20">&l9;</text></svg>\n'
} | gzip >"$project/entities.svgz"
cat >"$project/outside.svg" <<SVG
<svg xmlns="http://www.w3.org/2000/svg" width="24" height="24"><image width="24" height="24" href="file://$project/wide-photo.png"/></svg>
SVG
cat >"$project/vast.svg" <<'SVG'
<svg xmlns="http://www.w3.org/2000/svg" viewBox="0 0 100000 100000"><rect width="100000" height="100000" fill="#c00"/></svg>
SVG
convert -size 160x100 xc:purple "$project/after.png" || fail "cannot make the image"
size_kb=$((($(stat -c %s "$project/wide-photo.png") + 500) / 1000)) # whole kilobytes from 10 KB up
printf '[General]\nshowImageDetails=true\n' >"$XDG_CONFIG_HOME/vistel/com.vistel.Vistel.conf"

echo "== private X server and a terminal whose shell works there"
start_xvfb 1024x640 || fail "no private X server"
paint_desktop 1024x640
columns=60
rows=10
text="open wide-photo.png\n\nopen app-icon.svg\n\nopen entities.svgz\n\nopen outside.svg\n\nopen vast.svg after.png"
start_xterm details-terminal "$columns" "$rows" "$text" || fail "the terminal did not appear"

echo "== agent"
start_debug_agent "$agent" || fail "no banner"
sleep 2 # the recogniser warms on a worker after the banner

# card NAME COLUMN ROW FILE SHOT: holds Alt there until the card for FILE shows
# and saves the card's window as SHOT; Alt stays down.
card() {
    echo "-- $1"
    from=$(($(wc -l <"$log") + 1))
    xdotool mousemove $(cell_point "$2" "$3") keydown alt
    wait_for 20 card_shown || { xdotool keyup alt; fail "$1: no card"; }
    wait_for 5 answered "$4" || { xdotool keyup alt; fail "$1: the card is not for $4"; }
    sleep 0.5 # drawn
    import -window "$(xdotool search --onlyvisible --name '^Vistel preview$' | head -n1)" "$tmp/$5" ||
        { xdotool keyup alt; fail "$1: cannot capture the card"; }
    [ -n "${VISTEL_E2E_SHOTS:-}" ] && cp "$tmp/$5" "$VISTEL_E2E_SHOTS/"
}
release() {
    xdotool keyup alt
    wait_for 3 card_hidden || fail "the card stayed after Alt was released"
}

card "details caption" 8 0 "$project/wide-photo.png" details-card.png
release
# The caption band, enlarged and framed in white for the recogniser, which is
# told to expect figures ("×" reads as "x").
convert "$tmp/details-card.png" -gravity south -crop 100%x14%+0+0 +repage -colorspace Gray -resize 250% \
    -bordercolor white -border 20 "$tmp/caption.png"
caption=$(tesseract "$tmp/caption.png" - --psm 7 -c tessedit_char_whitelist='0123456789xKB. ' 2>/dev/null |
    tr -d '\n')
echo "caption read back: $caption"
echo "$caption" | grep -Eq '1920 ?x ?1080' || fail "the caption has no 1920 × 1080: '$caption'"
echo "$caption" | grep -q "$size_kb KB" || fail "the caption has no '$size_kb KB': '$caption'"

card "svg icon" 8 2 "$project/app-icon.svg" svg-card.png
# Both of the icon's colours on the card, captured again until they are: on a
# busy machine the card may map a moment before it has painted the new image.
icon_drawn() {
    import -window "$(xdotool search --onlyvisible --name '^Vistel preview$' | head -n1)" "$tmp/svg-card.png" &&
        colours=$(convert "$tmp/svg-card.png" -format %c histogram:info:-) &&
        echo "$colours" | grep -qi '#FFD000' && echo "$colours" | grep -qi '#1060E0'
}
wait_for 5 icon_drawn || { xdotool keyup alt; fail "the icon's yellow and blue are not on the card"; }
[ -n "${VISTEL_E2E_SHOTS:-}" ] && cp "$tmp/svg-card.png" "$VISTEL_E2E_SHOTS/"
release

# refused NAME COLUMN ROW FILE: the file is found under the pointer, yet no card shows.
refused() {
    echo "-- $1"
    from=$(($(wc -l <"$log") + 1))
    xdotool mousemove $(cell_point "$2" "$3") keydown alt
    local deadline=$((SECONDS + 20))
    until answered "$4" && [ "$(tail -n +"$from" "$log" | grep -c '\[ocr\] pointer')" -ge 2 ]; do
        card_shown && { xdotool keyup alt; fail "$1: a card showed"; }
        [ $SECONDS -ge $deadline ] && { xdotool keyup alt; fail "$1: not found and read twice in 20 s"; }
        sleep 0.1
    done
    card_shown && { xdotool keyup alt; fail "$1: a card showed"; }
    xdotool keyup alt
    sleep 0.3
}
refused "billion laughs (svgz)" 8 4 "$project/entities.svgz"
refused "outside href" 8 6 "$project/outside.svg"
refused "100000 x 100000 view box" 8 8 "$project/vast.svg"

echo "-- the agent still previews"
card "real image after them" 19 8 "$project/after.png" after-card.png
release
echo "PASS"
