#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# The benchmark job H, shortened, run by the headless runner from start to
# end: a build with sanitizers turns any finding on this long path into a
# failure here.
#   long_run.sh MAKE_JOB_H DUOLINK_BATCH PRESENTATIONS
set -euo pipefail
make_job_h="$1" batch="$2" presentations="$3"
job="$(mktemp -d "${TMPDIR:-/tmp}/duolink-long-run.XXXXXX")"
trap 'rm -rf "$job"' EXIT

"$make_job_h" "$job" "$presentations"
status=0
"$batch" "$job" >"$job/pane.txt" 2>"$job/status.txt" || status=$?
if [ "$status" -ne 0 ]; then
    echo "duolink-batch ended with status $status" >&2
    cat "$job/status.txt" >&2
    exit 1
fi
last="$(tail -n 1 "$job/pane.txt")"
if [ "$last" != "PROGRAM DONE" ]; then
    echo "the run did not end with PROGRAM DONE but with: $last" >&2
    exit 1
fi
printf '%s pane lines, report %s bytes\n' "$(wc -l <"$job/pane.txt")" "$(wc -c <"$job/vld33res.txt")"
