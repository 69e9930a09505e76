// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// How the text of a typed number field is read, and whether that is all of
// what the field shows. The value is always textToReal's; the rest says why a
// field that shows one thing is read as another, so that the window can tell.
#include <string_view>

namespace duolink {

enum class FieldIssue {
    None,         // read whole, or empty or blank (0 by design)
    DecimalComma, // a "," where the number's decimal point would be
    TextAfter,    // a number followed by other text, which is ignored
    NotANumber,   // no number at the front: 0
    TooLarge,     // a number beyond the range of a double: 0
};

struct FieldReading {
    double value = 0.0;               // what the program uses
    FieldIssue issue = FieldIssue::None;
    std::string_view number;          // the part read as the number (a view into the text)
    bool whole() const { return issue == FieldIssue::None; }
};

FieldReading readField(std::string_view text);

} // namespace duolink
