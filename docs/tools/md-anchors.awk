# SPDX-License-Identifier: GPL-3.0-or-later
# Prints the anchor of every heading of a Markdown file, code blocks skipped.
# Usage: awk -f mdslug.awk -f md-anchors.awk FILE.md
/^(```|~~~)/ { fenced = !fenced; next }
!fenced && /^#+ / { sub(/^#+ +/, ""); sub(/ +#* *$/, ""); print slug_unique($0) }
