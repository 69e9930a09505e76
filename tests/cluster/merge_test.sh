#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# merge-shards on shards that are right and on shards that are not: every
# fault fails with a message and leaves the output as it was.
#   merge_test.sh SOURCE_DIR
set -eu
merge=$1/examples/cluster/merge-shards
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
cd "$scratch"
h=n,set,outcome,presentations,final_r2,missed_last,recalled,nearest_own
printf '%s\n1,1,recalled,3,1,0,1,1\n2,1,limit,9,0.5,1,1,2\n' "$h" > s1.csv
printf '%s\n1,2,recalled,4,1,0,1,1\n2,2,recalled,5,1,0,2,2\n10,1,recalled,5,1,0,2,2\n' "$h" > s2.csv
printf '%s\n10,2,recalled,5,1,0,2,2\n' "$h" > s3.csv
"$merge" out.csv s2.csv s3.csv s1.csv
# Numeric order: 10 after 2.
[ "$(cut -d, -f1,2 out.csv | tr '\n' ' ')" = "n,set 1,1 1,2 2,1 2,2 10,1 10,2 " ] || { cat out.csv; exit 1; }
echo old > kept.csv
: > empty.csv
printf '%s\n1,1,recalled,3,1,0,1,1\n2,1,limit,9' "$h" > cut.csv
printf 'n,set,outcome\n1,1,recalled\n' > other.csv
printf '%s\n1,1,recalled,3,1,0,1\n' "$h" > short.csv
fails() {
    expected=$1
    shift
    if "$merge" kept.csv "$@" 2> err.txt; then echo "merged: $*"; exit 1; fi
    grep -q "$expected" err.txt || { echo "$*: wanted \"$expected\", got:"; cat err.txt; exit 1; }
    [ "$(cat kept.csv)" = old ] || { echo "$*: the output changed"; exit 1; }
}
fails "empty" empty.csv s1.csv s2.csv s3.csv
fails "cut off" s2.csv s3.csv cut.csv
fails "header is not" s1.csv s2.csv s3.csv other.csv
fails "not a whole row" s1.csv s2.csv s3.csv short.csv
fails "comes twice" s1.csv s1.csv s2.csv s3.csv
fails "a shard is missing" s1.csv s2.csv
fails "no such readable file" s1.csv nothing.csv
echo "merge-shards checks its shards"
