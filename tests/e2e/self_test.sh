#!/usr/bin/env bash
# The self-test on a private Xvfb, with a home and settings folder of its own:
# it must print "self-test passed" as its last line and exit 0, leave no
# fixture behind, and write nothing into the user's settings.
#
#   self_test.sh path/to/VistelPrototype
#
# Exits 77 (skipped) only when Xvfb is missing.
set -uo pipefail

program=${1:?usage: self_test.sh path/to/VistelPrototype}
command -v Xvfb >/dev/null || { echo "SKIP: Xvfb is not installed (scripts/install-deps installs it)"; exit 77; }

tmp=$(mktemp -d)
xvfb=
cleanup() {
    [ -n "$xvfb" ] && { kill "$xvfb" 2>/dev/null; wait "$xvfb" 2>/dev/null; }
    rm -rf "$tmp"
}
trap cleanup EXIT

fail() {
    echo "FAIL: $*"
    [ -f "$tmp/out.log" ] && { echo "---- output"; cat "$tmp/out.log"; }
    [ -f "$tmp/err.log" ] && { echo "---- errors"; tail -n 20 "$tmp/err.log"; }
    exit 1
}

export HOME="$tmp/home" XDG_CONFIG_HOME="$tmp/config" XDG_CACHE_HOME="$tmp/cache" XDG_RUNTIME_DIR="$tmp/run"
export DBUS_SESSION_BUS_ADDRESS="unix:path=$tmp/no-bus" TMPDIR="$tmp/tmp" OMP_THREAD_LIMIT=1
mkdir -p "$HOME" "$XDG_CONFIG_HOME" "$XDG_CACHE_HOME" "$XDG_RUNTIME_DIR" "$TMPDIR"
chmod 700 "$XDG_RUNTIME_DIR"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM

Xvfb -displayfd 3 -screen 0 1280x800x24 -nolisten tcp -noreset 3>"$tmp/display" 2>"$tmp/xvfb.log" &
xvfb=$!
for _ in $(seq 100); do grep -q . "$tmp/display" && break; sleep 0.1; done
grep -q . "$tmp/display" || fail "Xvfb named no display"
export DISPLAY=":$(head -n1 "$tmp/display")"

timeout 300 "$program" --self-test >"$tmp/out.log" 2>"$tmp/err.log"
status=$?
cat "$tmp/out.log"

[ $status -eq 0 ] || fail "exit status $status, expected 0"
[ "$(tail -n 1 "$tmp/out.log")" = "self-test passed" ] || fail "the last line is not \"self-test passed\""
[ -z "$(tail -n 2 "$tmp/out.log" | head -n 1)" ] || fail "no empty line before the verdict"
! grep -q '^FAIL  ' "$tmp/out.log" || fail "a FAIL line, yet exit status 0"
# One line of each of the 31 checks, in order.
expected=(
    "PASS  recognised path under pointer -> "
    "PASS  no match when the pointer is off the reference"
    "PASS  repaired misread extension -> "
    "PASS  recovered all "
    "PASS  no false positives on "
    "PASS  bare filename found in project ("
    "PASS  missing bare filename resolves to nothing"
    "PASS  explorer row label resolved -> "
    "PASS  wrapped-line tail resolved -> S002/contact-sheet.png"
    "PASS  ambiguous bare name refused (7 candidates)"
    "PASS  misread UUID filename resolved to the right one of 7"
    "PASS  unrecognisable UUID refused rather than guessed"
    "  markerless "
    "PASS  relative terminal path resolves against the shell's directory"
    "PASS  wrapped line read off a two-line strip -> S002/contact-sheet.png"
    "pt path, longer than one tile, resolved by its tail"
    "PASS  a missing v003 is not repaired into v004"
    "PASS  a rendered reference previews from every pointer position along it"
    "PASS  preview dropped on reaching another line"
    "PASS  a remembered hit is dropped once its file is gone"
    "PASS  read 2 image records out of a transcript, ignoring the rest"
    "PASS  remote images kept, extensionless local paths still refused"
    "PASS  (control) unordered roots still favour the newest shell"
    "PASS  repairing a list bullet invents no reference"
    "PASS  a clipped leading slash is recovered as an absolute path"
    "PASS  a line ending on a slash is only joined when a path continues"
    "PASS  a bare link label still resolves to the copy the session showed"
    "PASS  a path wrapped across a wide terminal previews its own file at "
    "PASS  session record: "
    "PASS  decode ceiling at 220pt is 440px"
    "PASS  the window has a frame: "
    "PASS  the indicator can be added and removed repeatedly"
)
line=0
for text in "${expected[@]}"; do
    found=$(tail -n +$((line + 1)) "$tmp/out.log" | grep -n -F -m1 -- "$text" | cut -d: -f1)
    [ -n "$found" ] || fail "missing, or out of order: \"$text\""
    line=$((line + found))
done
leftovers=$(find "$TMPDIR" -mindepth 1 -name 'vistel-*' 2>/dev/null)
[ -z "$leftovers" ] || fail "fixtures left behind: $leftovers"
written=$(find "$HOME" "$XDG_CONFIG_HOME" -type f 2>/dev/null | grep -i vistel)
[ -z "$written" ] || fail "the self-test wrote the user's settings: $written"
echo "PASS"
