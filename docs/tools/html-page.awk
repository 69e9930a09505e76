# SPDX-License-Identifier: GPL-3.0-or-later
# Wraps cmark's HTML of the manual in a page and gives every heading the id
# that its Markdown anchor has, so that links to sections work in a browser.
# Links are made to work where the page is installed, beside examples/:
# "../examples/X" becomes "examples/X", and a link to another Markdown file
# of the source tree (README, developer's guide) keeps only its text.
# Usage: cmark manual.md | awk -v title=TITLE -f mdslug.awk -f html-page.awk
BEGIN {
    print "<!DOCTYPE html>"
    print "<html lang=\"en\"><head><meta charset=\"utf-8\">"
    print "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">"
    print "<title>" title "</title>"
    print "<style>body{max-width:52em;margin:2em auto;padding:0 1em;font-family:sans-serif;line-height:1.5}"
    print "pre,code{background:#f4f4f4}pre{padding:.5em;overflow-x:auto}table{border-collapse:collapse}"
    print "td,th{border:1px solid #ccc;padding:.2em .5em}img{max-width:100%}</style>"
    print "</head><body>"
}
/^<h[1-6]>/ && match($0, /<\/h[1-6]>$/) {
    level = substr($0, 3, 1)
    inner = substr($0, 5, length($0) - 9)
    print "<h" level " id=\"" slug_unique(inner) "\">" inner "</h" level ">"
    next
}
function local_links(line,    out, a, text) {
    gsub(/href="\.\.\/examples\//, "href=\"examples/", line)
    out = ""
    while (match(line, /<a href="[^"#:]*\.md(#[^"]*)?">[^<]*<\/a>/)) {
        a = substr(line, RSTART, RLENGTH)
        text = a
        sub(/^<a [^>]*>/, "", text)
        sub(/<\/a>$/, "", text)
        out = out substr(line, 1, RSTART - 1) text
        line = substr(line, RSTART + RLENGTH)
    }
    return out line
}
{ print local_links($0) }
END { print "</body></html>" }
