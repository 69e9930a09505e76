# Wraps cmark's HTML of the manual in a page and gives every heading the id
# that its Markdown anchor has, so that links to sections work in a browser.
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
{ print }
END { print "</body></html>" }
