// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/patterns/fieldreading.h"

#include "core/support/numgrammar.h"
#include "core/patterns/patterns.h"

namespace duolink {

FieldReading readField(std::string_view text)
{
    FieldReading reading;
    reading.value = textToReal(text);

    // Blanks on either side change nothing: textToReal skips those in front
    // and stops at those behind.
    while (!text.empty() && text.front() == ' ')
        text.remove_prefix(1);
    std::string_view shown = text;
    while (!shown.empty() && shown.back() == ' ')
        shown.remove_suffix(1);
    if (shown.empty())
        return reading;

    const NumberScan scan = scanNumber(shown);
    const size_t length = scan.digits == 0 ? 0 : scan.length;
    reading.number = shown.substr(0, length);
    double value = 0.0;
    if (length > 0 && convertDecimal(reading.number, value) == DecimalRange::Overflow)
        reading.issue = FieldIssue::TooLarge;
    else if (length == shown.size())
        reading.issue = FieldIssue::None;
    else if (!scan.exponent && shown.substr(0, scan.length).find('.') == std::string_view::npos &&
             scan.length + 1 < shown.size() && shown[scan.length] == ',' && isDigit(shown[scan.length + 1]))
        reading.issue = FieldIssue::DecimalComma;
    else
        reading.issue = length > 0 ? FieldIssue::TextAfter : FieldIssue::NotANumber;
    return reading;
}

} // namespace duolink
