#!/usr/bin/env bash
# quorvel-capture run for real: without a display, then on a virtual desktop of its own with a
# known picture on the root window, captured scaled, cut to a region and described with --info.
#
#   capture-on-desktop.sh QUORVEL_CAPTURE DESKTOP_SH
set -euo pipefail
capture=$1
desktop=$2
helper="$(dirname "$0")/desktop_image.py"
work=$(mktemp -d -t quorvel-capture-test.XXXXXX)
trap 'rm -rf "$work"' EXIT
failures=0

# Runs the executable with the arguments given; its status, output and errors stay in $work.
run() {
    status=0
    "$capture" "$@" >"$work/out" 2>"$work/err" || status=$?
}

# expect WHAT STATUS CHECK...: the last run ended with STATUS, wrote nothing on standard error,
# and the CHECK command succeeds.
expect() {
    local what=$1 wanted=$2
    shift 2
    if [ "$status" != "$wanted" ]; then
        echo "FAILED: $what: exit status $status, not $wanted; output: $(head -c 300 "$work/out")"
    elif [ -s "$work/err" ]; then
        echo "FAILED: $what: wrote on standard error: $(head -c 300 "$work/err")"
    elif ! "$@"; then
        echo "FAILED: $what"
    else
        echo "ok: $what"
        return 0
    fi
    failures=$((failures + 1))
}

json_is() { "$helper" json "$1" <"$work/out"; }
png_is() { "$helper" png "$work/out" "$@"; }

unset DISPLAY  # the desktop started below sets its own
run --max-width 640
expect "no display" 1 json_is \
    '{"ok":false,"error":"Screen capture is not possible: no display (DISPLAY is not set)"}'
run --max-width 0
expect "a width of 0 is refused" 1 grep -q '^{"ok":false,"error":"Invalid arguments: ' "$work/out"

eval "$("$desktop" start)"
trap '"$desktop" stop "$QUORVEL_DESKTOP"; rm -rf "$work"' EXIT
"$helper" paint

run --max-width 640
expect "the whole screen, halved" 0 png_is 640 400 320 200
run --region 630 390 20 20
expect "a region across the blue corner" 0 png_is 20 20 10 10
run --region 10 20 100 50 --info
expect "--info on a region" 0 json_is \
    '{"ok":true,"x":10,"y":20,"width":100,"height":50,"scale":1,"png_width":100,"png_height":50}'
run --region 1270 790 100 100 --max-width 5 --info
expect "--info on a region cut by the screen's corner" 0 json_is \
    '{"ok":true,"x":1270,"y":790,"width":10,"height":10,"scale":0.5,"png_width":5,"png_height":5}'
run --region 1280 0 10 10
expect "a region beside the screen" 1 json_is '{"ok":false,"error":"The region lies outside the screen"}'

[ "$failures" -eq 0 ] || { echo "$failures check(s) failed"; exit 1; }
