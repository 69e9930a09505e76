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

char* NumberTextCache::writeWholeRun(char* dest, const double* values, int n, int blanks, int& taken)
{
    taken = 0;
    if (!wholeRatios_.usable())
        return dest;
    if (!wholeTexts_)
        wholeTexts_ = std::make_unique<WholeText[]>(size_t{1} << kTextBits);
    for (; taken < n; ++taken) {
        const double value = values[taken];
        // Whole values below 2^31 have a slot (the conversion of others is
        // no whole number equal to them); -0 shares the text of 0.
        const bool small = value > -0x1p31 && value < 0x1p31;
        const auto whole = static_cast<int32_t>(small ? value : 0.5);
        if (small && static_cast<double>(whole) == value) {
            WholeText& slot = wholeTexts_[static_cast<uint32_t>(whole) * 0x9E3779B1u >> (32 - kTextBits)];
            if (slot.value != whole || slot.length == 0) {
                char text[WholeRatioWriter::kRoom];
                const char* end = wholeRatios_.write(text, value);
                if (!end)
                    break;
                const auto length = static_cast<size_t>(end - text);
                if (length > sizeof slot.text) {
                    std::memcpy(dest, text, WholeRatioWriter::kRoom);
                    dest += length + static_cast<size_t>(blanks);
                    continue;
                }
                std::memcpy(slot.text, text, sizeof slot.text);
                slot.length = static_cast<uint8_t>(length);
                slot.value = whole;
            }
            // The copy runs on over the slot's length and value; the blanks
            // are put in their place.
            std::memcpy(dest, &slot, sizeof slot);
            std::memcpy(dest + slot.length, "  ", 2);
            dest += slot.length + blanks;
            continue;
        }
        char* end = wholeRatios_.write(dest, value);
        if (!end)
            break;
        dest = end + blanks;
    }
    return dest;
}

void NumberTextCache::appendScaledRun(std::string& out, const double* values, int n, int unity, int blanks)
{
    if (unity != wholeRatios_.unity()) {
        wholeRatios_ = WholeRatioWriter(unity, 9, 5);
        wholeTexts_.reset();
    }
    blanks = std::clamp(blanks, 0, 2);
    // Written in a buffer of its own, 16 values at a time, and appended in
    // one piece; a value the writer does not take is appended on its own.
    constexpr int kPiece = 16;
    char buffer[kPiece * (WholeRatioWriter::kRoom + 2) + WholeRatioWriter::kRoom];
    int k = 0;
    while (k < n) {
        const int piece = std::min(n - k, kPiece);
        int taken = 0;
        const char* end = writeWholeRun(buffer, values + k, piece, blanks, taken);
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
