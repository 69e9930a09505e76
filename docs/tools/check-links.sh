#!/usr/bin/env bash
# SPDX-License-Identifier: GPL-3.0-or-later
# Checks the relative links of Markdown files: every linked file exists and
# every "#anchor" names a heading of the file it points into.
# Usage: check-links.sh FILE.md...
set -euo pipefail
tools="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"

# The anchors of a Markdown file's headings, one a line (code blocks skipped).
anchors() {
    awk -f "$tools/mdslug.awk" -f "$tools/md-anchors.awk" "$1"
}

# The inline link targets of a Markdown file, one a line (code skipped).
links() {
    awk '
        /^(```|~~~)/ { fenced = !fenced; next }
        fenced { next }
        {
            line = $0
            gsub(/`[^`]*`/, "", line)
            while (match(line, /\]\([^) ]+[) ]/)) {
                print substr(line, RSTART + 2, RLENGTH - 3)
                line = substr(line, RSTART + RLENGTH)
            }
        }' "$1"
}

status=0
for file in "$@"; do
    dir="$(dirname "$file")"
    while IFS= read -r target; do
        case "$target" in
        http://* | https://* | mailto:*) continue ;;
        esac
        path="${target%%#*}"
        anchor=""
        [[ "$target" == *"#"* ]] && anchor="${target#*#}"
        if [ -z "$path" ]; then
            linked="$file"
        else
            linked="$dir/$path"
        fi
        if [ ! -e "$linked" ]; then
            echo "$file: link to $target: $linked does not exist" >&2
            status=1
            continue
        fi
        if [ -n "$anchor" ]; then
            if [[ "$linked" != *.md ]] || ! anchors "$linked" | grep -qxF -- "$anchor"; then
                echo "$file: link to $target: no heading with the anchor #$anchor" >&2
                status=1
            fi
        fi
    done < <(links "$file")
done
exit "$status"
