# SPDX-License-Identifier: GPL-3.0-or-later
# shellcheck shell=sh
# Shared by the plot-* scripts; sourced, not run. Each script reads one CSV
# of duolink-batch, writes what it plots to a scratch file and hands a
# gnuplot script to plot_run, which draws it as FILE.pdf and FILE.png beside
# the CSV. No name given by the user goes into gnuplot's own text: it reads
# and writes scratch files only.

plot_die() {
    echo "$PLOT_NAME: $*" >&2
    exit 1
}

# plot_start CSV: checks the argument and the tools; sets PLOT_CSV, PLOT_BASE
# (the CSV's name without .csv), PLOT_DATA (a scratch file) and PLOT_CAPTION.
plot_start() {
    PLOT_NAME=$(basename "$0")
    if [ $# -ne 1 ]; then
        echo "usage: $PLOT_NAME FILE.csv" >&2
        exit 2
    fi
    command -v gnuplot >/dev/null 2>&1 || plot_die "gnuplot is missing (apt-get install gnuplot-nox)"
    [ -f "$1" ] && [ -r "$1" ] || plot_die "cannot read $1"
    PLOT_CSV=$1
    PLOT_BASE=${1%.csv}
    PLOT_DIR=$(mktemp -d "${TMPDIR:-/tmp}/duolink-plot.XXXXXX")
    trap 'rm -rf "$PLOT_DIR"' EXIT
    trap 'exit 130' INT TERM HUP
    PLOT_DATA=$PLOT_DIR/data
    PLOT_CAPTION=$(plot_caption "$1.json")
}

# The run's settings from its provenance file, on one line; empty without it.
plot_caption() {
    [ -f "$1" ] && command -v python3 >/dev/null 2>&1 || return 0
    python3 - "$1" <<'PY' 2>/dev/null || true
import json, sys
p = json.load(open(sys.argv[1]))
par = {str(k).upper(): v for k, v in (p.get("parameters") or {}).items()}
out = [f"{k} {par[k]}" for k in ("BETA", "TOL", "MAX") if k in par]
for key, label in (("seed", "seed"), ("sets", "sets per n"), ("density", "density")):
    if key in p:
        out.append(f"{label} {p[key]}")
print(", ".join(out).replace("'", ""))
PY
}

# A tick step of 1, 2 or 5 times a power of ten that puts at most about ten
# whole-number ticks on an axis from 1 to $1.
plot_whole_step() {
    awk -v top="$1" 'BEGIN { s = 1; while (top / s > 10) { if (s * 2 >= top / 10) { s *= 2; break } if (s * 5 >= top / 10) { s *= 5; break } s *= 10 } print s }'
}

# plot_run < SCRIPT: draws SCRIPT as PLOT_BASE.pdf and PLOT_BASE.png, each
# replaced only once it is whole.
plot_run() {
    cat >"$PLOT_DIR/body"
    caption=""
    [ -n "$PLOT_CAPTION" ] && caption="set label 99 '$PLOT_CAPTION' at screen 0.01,0.015 left font ',9' textcolor rgb '#444444'"
    for kind in pdf png; do
        if [ "$kind" = pdf ]; then
            terminal="set terminal pdfcairo size 16cm,10cm font 'DejaVu Sans,9' linewidth 1"
        else
            terminal="set terminal pngcairo size 1600,1000 font 'DejaVu Sans,18' linewidth 2 background rgb 'white'"
        fi
        {
            printf '%s\nset output "%s/out.%s"\nset datafile separator whitespace\n%s\n' \
                "$terminal" "$PLOT_DIR" "$kind" "$caption"
            cat "$PLOT_DIR/body"
        } | gnuplot || plot_die "gnuplot could not draw $PLOT_BASE.$kind"
        [ -s "$PLOT_DIR/out.$kind" ] || plot_die "gnuplot drew nothing for $PLOT_BASE.$kind"
        cp "$PLOT_DIR/out.$kind" "$PLOT_BASE.$kind.tmp$$" && mv -f "$PLOT_BASE.$kind.tmp$$" "$PLOT_BASE.$kind" ||
            plot_die "cannot write $PLOT_BASE.$kind"
    done
}
