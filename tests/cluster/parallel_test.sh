#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The analyses split into shards: GNU parallel runs the capacity shards of
# examples/cluster/capacity-parallel, sweep shards run one by one, and each
# merged result must be byte for byte the unsharded run's, which must itself
# be the same for every --jobs.
#   parallel_test.sh DUOLINK_BATCH SOURCE_DIR
set -euo pipefail
batch=$1 source=$2
command -v parallel > /dev/null || { echo "GNU parallel is not installed (Debian package parallel)"; exit 77; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
mkdir "$scratch/job"
cp "$source/examples/veld200gSetup.dat" "$scratch/job/"
cp "$source/examples/patterns.csv" "$scratch/"
cd "$scratch"
capacity=(--capacity-pairs 14 --capacity-sets 5 --seed 99 --set beta=0.1)

"$batch" --capacity whole.csv --jobs 1 "${capacity[@]}" job > summary1.txt
"$batch" --capacity whole2.csv --jobs 3 "${capacity[@]}" job > summary2.txt
cmp whole.csv whole2.csv
cmp summary1.txt summary2.txt
[ "$(wc -l < whole.csv)" -eq 71 ]

DUOLINK_BATCH=$batch "$source/examples/cluster/capacity-parallel" job merged.csv 4 "${capacity[@]}"
cmp whole.csv merged.csv

# A sweep grid of two parameters, in three shards.
sweep=(--patterns patterns.csv --sweep beta=0.05:0.25:0.05 --sweep tol=0.3,0.1,0.2)
"$batch" --sweep-out sweep.csv "${sweep[@]}" job
[ "$(head -n 1 sweep.csv)" = "beta,tol,outcome,presentations,final_r2,missed_last,recalled,nearest_own" ]
[ "$(wc -l < sweep.csv)" -eq 16 ]
for k in 1 2 3; do
    "$batch" --sweep-out "part$k.csv" --shard "$k/3" --jobs 2 "${sweep[@]}" job
done
"$source/examples/cluster/merge-shards" sweep-merged.csv part3.csv part1.csv part2.csv
cmp sweep.csv sweep-merged.csv
echo "shards agree with the whole runs"
