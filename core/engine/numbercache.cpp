#include "core/engine/numbercache.h"

#include <cstring>

#include "core/engine/state.h"
#include "core/numtext.h"

namespace duolink {
namespace {

uint64_t bitsOf(double value)
{
    uint64_t bits = 0;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

// Appends the text that `format` appends, through the entry: from it when it
// holds `bits`, else formatted and kept there when it fits.
template <class Format>
void appendThrough(std::string& out, NumberTextCache::Entry& entry, uint64_t bits, Format format)
{
    if (entry.length != 0 && entry.bits == bits) {
        out.append(entry.text, entry.length);
        return;
    }
    const size_t start = out.size();
    format();
    const size_t length = out.size() - start;
    if (length < sizeof entry.text) {
        entry.bits = bits;
        entry.length = static_cast<uint8_t>(length);
        std::memcpy(entry.text, out.data() + start, length);
    }
}

} // namespace

NumberTextCache::Entry& NumberTextCache::slotOf(std::unique_ptr<Entry[]>& table, uint64_t bits)
{
    if (!table)
        table = std::make_unique<Entry[]>(size_t{1} << kSlotBits);
    return table[(bits * 0x9E3779B97F4A7C15ull) >> (64 - kSlotBits)];
}

void NumberTextCache::appendScaled(std::string& out, double value, int unity)
{
    // A unity of 0 raises at once; NaN raises and is never kept.
    if (unity == 0 || value != value) {
        appendRealTextWD(out, fdiv(value, unity), 9, 5);
        return;
    }
    if (appendWholeRatioText(out, value, unity, 9, 5))
        return;
    if (unity != scaledUnity_) {
        scaled_.reset();
        scaledUnity_ = unity;
    }
    const uint64_t bits = bitsOf(value);
    appendThrough(out, slotOf(scaled_, bits), bits,
                  [&] { appendRealTextWD(out, fdiv(value, unity), 9, 5); });
}

void NumberTextCache::appendShortExp(std::string& out, double value)
{
    const uint64_t bits = bitsOf(value);
    appendThrough(out, slotOf(shortExp_, bits), bits, [&] { appendExpText(out, value, 2); });
}

} // namespace duolink
