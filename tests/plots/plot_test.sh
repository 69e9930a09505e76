#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# The plot scripts of examples/ on small files of each analysis, a name with
# a blank and a quote among them: each writes a PDF and a PNG beside the CSV,
# and refuses a file that is not what it plots without writing anything.
#   plot_test.sh DUOLINK_BATCH SOURCE_DIR
set -eu
batch=$1
examples=$2/examples
command -v gnuplot >/dev/null 2>&1 || { echo "SKIPPED: gnuplot is missing"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
cp -r "$examples/demo" "$scratch/job"
dir="$scratch/it's here"
mkdir "$dir"
"$batch" --quiet --capacity "$dir/capacity.csv" --capacity-pairs 4 --capacity-sets 3 --set beta=0.1 "$scratch/job" >/dev/null
"$batch" --quiet --sweep-out "$dir/sweep1.csv" --sweep beta=0.2:1.4:0.4 "$scratch/job" >/dev/null
"$batch" --quiet --sweep-out "$dir/sweep2.csv" --sweep beta=0.2,1.2 --sweep tol=0.05,0.1 "$scratch/job" >/dev/null
"$batch" --quiet "$scratch/job" --noise "$dir/noise.csv" >/dev/null 2>&1
for run in "capacity capacity" "sweep sweep1" "sweep sweep2" "noise noise"; do
    set -- $run
    "$examples/plot-$1" "$dir/$2.csv" || fail "plot-$1 $2.csv"
    for kind in pdf png; do
        [ -s "$dir/$2.$kind" ] || fail "plot-$1 wrote no $2.$kind"
    done
done
[ "$(head -c 4 "$dir/capacity.pdf")" = "%PDF" ] || fail "capacity.pdf is no PDF"
# Capacity curves of two shapes on one chart, each named by its lengths.
"$batch" --quiet --capacity "$dir/wide.csv" --capacity-shape 16,4 --capacity-pairs 4 --capacity-sets 2 --set beta=0.05 "$scratch/job" >/dev/null
"$examples/plot-capacity-shapes" "$dir/shapes" "$dir/capacity.csv" "$dir/wide.csv" || fail "plot-capacity-shapes"
[ -s "$dir/shapes.png" ] && [ -s "$dir/shapes.pdf" ] || fail "plot-capacity-shapes wrote no chart"
if "$examples/plot-capacity-shapes" "$dir/none" "$dir/noise.csv" 2>/dev/null; then fail "plot-capacity-shapes took a noise file"; fi
# A file of another analysis, and no file at all.
if "$examples/plot-sweep" "$dir/noise.csv" 2>/dev/null; then fail "plot-sweep took a noise file"; fi
[ ! -e "$dir/noise.pdf.tmp" ] || fail "a refused plot left a file"
if "$examples/plot-capacity" "$dir/none.csv" 2>/dev/null; then fail "plot-capacity took a missing file"; fi
[ ! -e "$dir/none.pdf" ] || fail "a missing file gave a plot"
echo "plot scripts: all passed"
