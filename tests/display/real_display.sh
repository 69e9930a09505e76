#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The real window on a real (virtual) X display, driven like a user would:
# types the example pairs, solves, predicts, saves the pane's text, checks the
# files in the working folder and that the pane grows with the window.
#
# Usage: tests/display/real_display.sh DUOLINK [SHOT_DIR]
#   DUOLINK    the window program to test
#   SHOT_DIR   where the screenshots go: window.png (default size, after the
#              run) and wide.png (1300 x 800); default: a scratch folder
# Exit status: 0 passed, 1 failed, 77 skipped (no X server could be started).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
examples="$here/../../examples"
skip=77

say() { printf 'real display test: %s\n' "$*" >&2; }
# On the display, a failure also keeps a picture of the screen.
on_display=0
fail() {
    if [ "$on_display" -eq 1 ]; then
        import -window root "$shots/failure.png" 2>/dev/null || true
    fi
    say "FAILED: $*"
    exit 1
}

if [ "${1:-}" != --inside ]; then
    [ $# -ge 1 ] || { say "usage: $0 DUOLINK [SHOT_DIR]"; exit 2; }
    program="$(realpath "$1")"
    for tool in xvfb-run Xvfb xauth xdotool import; do
        if ! command -v "$tool" >/dev/null 2>&1; then
            say "skipped: $tool is not installed (Debian packages xvfb, xauth, xdotool, imagemagick)"
            exit "$skip"
        fi
    done
    scratch="$(mktemp -d "${TMPDIR:-/tmp}/duolink-display.XXXXXX")"
    trap 'rm -rf "$scratch"' EXIT
    shots="${2:-$scratch/shots}"
    mkdir -p "$shots" "$scratch/work"
    shots="$(realpath "$shots")"
    cp "$examples/veld200gSetup.dat" "$scratch/work/"
    # The same program under a name of its own: copies the user has open
    # elsewhere would trip its single-instance guard.
    mkdir "$scratch/bin"
    cp "$program" "$scratch/bin/duolink-x$$"
    program="$scratch/bin/duolink-x$$"
    status=0
    xvfb-run -a -e "$scratch/xvfb.log" -s "-screen 0 1400x900x24 -nolisten tcp" \
        "${BASH_SOURCE[0]}" --inside "$program" "$scratch" "$shots" || status=$?
    if [ ! -e "$scratch/started" ]; then
        say "skipped: Xvfb cannot start here (xvfb-run exit status $status)"
        cat "$scratch/xvfb.log" >&2 2>/dev/null || true
        exit "$skip"
    fi
    if [ "$status" -eq 0 ]; then
        say "passed${2:+; screenshots in $shots}"
    elif [ -n "${2:-}" ]; then
        say "screenshots in $shots"
    fi
    exit "$status"
fi

# --- On the display ------------------------------------------------------------
program="$2"
scratch="$3"
shots="$4"
work="$scratch/work"
# xvfb-run goes on even when its server did not come up.
xdotool getdisplaygeometry >/dev/null 2>&1 || exit "$skip"
touch "$scratch/started"
on_display=1
unset QT_QPA_PLATFORM WAYLAND_DISPLAY
# Window position and size go to a scratch config folder, not the user's.
export XDG_CONFIG_HOME="$scratch/config" XDG_RUNTIME_DIR="$scratch/runtime"
mkdir -p "$XDG_RUNTIME_DIR" && chmod 700 "$XDG_RUNTIME_DIR"

"$program" "$work" >"$scratch/program.log" 2>&1 &
pid=$!
cleanup() {
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
}
trap cleanup EXIT

window="$(timeout 20 xdotool search --sync --name '^VELD Duolink 200z' | head -n 1)" ||
    fail "no window within 20 seconds: $(cat "$scratch/program.log")"
xdotool windowfocus --sync "$window"
sleep 0.5

key() { xdotool key --clearmodifiers --delay 30 "$@"; }
# Replaces the focused field's text and presses Return (on to the next field).
field() {
    key ctrl+a
    xdotool type --delay 20 "$1"
    key Return
}
# waitfor SECONDS DESCRIPTION COMMAND...: polls until COMMAND succeeds.
waitfor() {
    local limit=$(($1 * 10)) what="$2"
    shift 2
    for ((i = 0; i < limit; ++i)); do
        "$@" && return 0
        sleep 0.1
    done
    fail "$what"
}

# The five example pairs: A1..A8 and B1..B8 with Return, which leaves the
# focus on Add; Ctrl+Return adds; Shift+Tab sixteen times is A1 again.
pairs=0
while IFS=, read -r -a values; do
    if [ "${#values[@]}" -ne 16 ] || [[ "${values[0]}" == '#'* ]] || [ "${values[0]}" = A1 ]; then
        continue
    fi
    for v in "${values[@]}"; do
        field "$v"
    done
    key ctrl+Return
    for _ in $(seq 16); do key shift+Tab; done
    pairs=$((pairs + 1))
done <"$examples/patterns.csv"
[ "$pairs" -eq 5 ] || fail "read $pairs pairs from patterns.csv, expected 5"

key F5
# The report's final matrix is written last; then its size stops changing.
report_done() {
    grep -q 'FINAL MATRIX' "$work/vld33res.txt" 2>/dev/null || return 1
    local size
    size=$(stat -c %s "$work/vld33res.txt")
    sleep 0.5
    [ "$(stat -c %s "$work/vld33res.txt")" = "$size" ]
}
waitfor 60 "Solve did not finish within 60 seconds" report_done
cmp -s "$work/adata200.dat" "$examples/demo/adata200.dat" || fail "adata200.dat differs from the example job's"
cmp -s "$work/bdata200.dat" "$examples/demo/bdata200.dat" || fail "bdata200.dat differs from the example job's"
grep -q 'Number of Presenatations: 5' "$work/vld33res.txt" || fail "the report does not show 5 presentations"

# Predict the first pair's B pattern from its A pattern.
for v in 1 1 0 0 0 0 0 0; do field "$v"; done
key F6
sleep 0.5
import -window "$window" "$shots/window.png"

# Save Output As (File menu, by its mnemonics) into the working folder: the
# dialog opens there, so the bare name is enough.
key alt+f
sleep 0.3
key u
sleep 1
xdotool type --delay 20 "pane.txt"
key Return
waitfor 10 "Save Output As wrote no pane.txt" test -s "$work/pane.txt"
grep -qx 'PROGRAM DONE' "$work/pane.txt" || fail "the saved output lacks the end of the run"
# Predict's pane lines: the scaled input, then the result.
grep -qxF ' INPUT   1.00000   1.00000   0.00000   0.00000   0.00000   0.00000   0.00000   0.00000   0.00000 ' \
    "$work/pane.txt" || fail "the saved output lacks Predict's input line"
grep -qxF ' RESULT   0.00000   0.00000   0.00000   0.00000   0.00000   0.00000   0.99990   0.99990 ' \
    "$work/pane.txt" || fail "the saved output lacks Predict's result line"

# Wider and taller: the pane's white area follows the window's right edge.
xdotool windowsize --sync "$window" 1300 800 || true
sleep 1
import -window root "$scratch/root.png"
cp "$scratch/root.png" "$shots/wide.png"
white=$(convert "$scratch/root.png" -crop 1x500+1205+150 +repage -fill black +opaque white \
    -format '%[fx:round(mean*500)]' info:)
[ "$white" -ge 400 ] || fail "the pane does not reach past x = 1200 at 1300 x 800 ($white of 500 pixels white at x = 1205)"

# Without a window manager the keyboard focus stays where the closed dialog was.
xdotool windowfocus --sync "$window"
key ctrl+q
waitfor 10 "Exit did not end the program" bash -c "! kill -0 $pid 2>/dev/null"
wait "$pid" || fail "the program ended with status $?"
