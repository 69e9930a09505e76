# SPDX-License-Identifier: GPL-3.0-or-later
# The anchor that Markdown hosts give a heading: its text without markup,
# lower case, with every character but letters, digits, blanks, "-" and "_"
# dropped and blanks turned into "-". A repeated anchor gets "-1", "-2", ...
# Shared by the manual's HTML rendering and the link check.
function slug_text(text,    s) {
    s = text
    gsub(/<[^>]*>/, "", s)            # HTML tags (cmark output)
    gsub(/&quot;/, "\"", s); gsub(/&lt;/, "<", s); gsub(/&gt;/, ">", s); gsub(/&amp;/, "\\&", s)
    gsub(/[`*]/, "", s)               # Markdown code and emphasis marks
    gsub(/\[|\]\([^)]*\)/, "", s)     # link brackets and targets
    s = tolower(s)
    gsub(/[^a-z0-9 _-]/, "", s)
    gsub(/ /, "-", s)
    return s
}
function slug_unique(text,    s) {
    s = slug_text(text)
    if (s in slug_seen_) {
        slug_seen_[s]++
        return s "-" slug_seen_[s]
    }
    slug_seen_[s] = 0
    return s
}
