// SPDX-License-Identifier: GPL-3.0-or-later
// textToReal, the reading of the window's number fields. The input is a field
// text. Two properties are checked:
// - appending a character that cannot continue a number changes nothing: the
//   value comes from the longest number at the front;
// - the window's account of a field (readField) gives that same value, and a
//   field it calls whole reads the same with a blank behind it;
// - on text made only of number characters and blanks (the input mapped onto
//   them byte by byte) the value is bit for bit what strtod reads, except
//   that a number too large for a double reads as 0 instead of an infinity.
#include <bit>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <string>

#include "core/patterns/fieldreading.h"
#include "core/patterns/patterns.h"
#include "fuzzsupport.h"

using namespace duolink;

namespace {

constexpr std::string_view kNumberCharacters = "0123456789+-.eE ";

bool sameBits(double a, double b)
{
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    const double value = textToReal(text);
    FUZZ_CHECK(sameBits(textToReal(text + '#'), value));
    const FieldReading reading = readField(text);
    FUZZ_CHECK(sameBits(reading.value, value));
    FUZZ_CHECK(!reading.whole() || readField(text + ' ').whole());

    std::string mapped;
    mapped.reserve(size);
    for (size_t k = 0; k < size; ++k)
        mapped += kNumberCharacters[data[k] % kNumberCharacters.size()];
    // The fuzzer never sets a locale: strtod reads "." as the decimal point.
    double expected = std::strtod(mapped.c_str(), nullptr);
    if (std::isinf(expected))
        expected = 0.0;
    FUZZ_CHECK(sameBits(textToReal(mapped), expected));
    return 0;
}
