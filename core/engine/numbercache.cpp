// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/numbercache.h"

#include <algorithm>
#include <cstring>

#include "core/engine/state.h"

namespace duolink {

NumberTextCache::Entry& NumberTextCache::slotOf(uint64_t bits)
{
    if (!scaled_)
        scaled_ = std::make_unique<Entry[]>(size_t{1} << kSlotBits);
    return scaled_[(bits * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)];
}

void NumberTextCache::appendScaled(std::string& out, double value, int unity)
{
    // A unity of 0 raises at once; NaN raises and is never kept.
    if (unity == 0 || value != value) {
        appendRealTextWD(out, fdiv(value, unity), 9, 5);
        return;
    }
    if (unity != scaledUnity_) {
        scaled_.reset();
        scaledUnity_ = unity;
    }
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    Entry& entry = slotOf(bits);
    if (entry.length != 0 && entry.bits == bits) {
        out.append(entry.text, entry.length);
        return;
    }
    const size_t start = out.size();
    appendRealTextWD(out, fdiv(value, unity), 9, 5);
    const size_t length = out.size() - start;
    if (length < sizeof entry.text) {
        entry.bits = bits;
        entry.length = static_cast<uint8_t>(length);
        std::memcpy(entry.text, out.data() + start, length);
    }
}

void NumberTextCache::appendScaledRun(std::string& out, const double* values, int n, int unity, int blanks)
{
    wholeRatios(unity);
    blanks = std::clamp(blanks, 0, 2);
    // Written in a buffer of its own, 16 values at a time, and appended in
    // one piece; a value the writer does not take is appended on its own.
    constexpr int kPiece = 16;
    char buffer[kPiece * (WholeRatioWriter::kRoom + 2) + WholeRatioWriter::kRoom];
    int k = 0;
    while (k < n) {
        const int piece = std::min(n - k, kPiece);
        int taken = 0;
        const char* end = wholeRatios_.writeRun(buffer, values + k, piece, blanks, taken);
        out.append(buffer, static_cast<size_t>(end - buffer));
        k += taken;
        if (taken < piece) {
            appendScaled(out, values[k], unity);
            out.append(static_cast<size_t>(blanks), ' ');
            ++k;
        }
    }
}

void NumberTextCache::appendShortExpRun(std::string& out, const double* values, int n)
{
    char buffer[16 * 12 + kExpTextRoom];
    char* p = buffer;
    for (int k = 0; k < n; ++k) {
        if (buffer + sizeof buffer - p <= kExpTextRoom) {
            out.append(buffer, static_cast<size_t>(p - buffer));
            p = buffer;
        }
        p = writeExpText(p, values[k], 2);
        *p++ = ' ';
    }
    out.append(buffer, static_cast<size_t>(p - buffer));
}

} // namespace duolink
