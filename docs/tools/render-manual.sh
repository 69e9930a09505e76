#!/bin/sh
# SPDX-License-Identifier: GPL-3.0-or-later
# Renders a Markdown file as a stand-alone HTML page with cmark.
# Usage: render-manual.sh IN.md OUT.html TITLE
set -eu
tools="$(cd "$(dirname "$0")" && pwd)"
tmp="$2.tmp"
cmark --unsafe "$1" | awk -v title="$3" -f "$tools/mdslug.awk" -f "$tools/html-page.awk" >"$tmp"
mv "$tmp" "$2"
