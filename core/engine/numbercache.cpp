#include "core/engine/numbercache.h"

#include <cstring>

#include "core/engine/state.h"
#include "core/support/numtext.h"

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

void NumberTextCache::appendScaledRun(std::string& out, const double* values, int n, int unity, int blanks)
{
    // Built in a buffer of its own and appended in pieces of many values.
    constexpr int kCell = kWholeRatioRoom + 2;
    char buffer[16 * kCell];
    char* p = buffer;
    for (int k = 0; k < n; ++k) {
        if (buffer + sizeof buffer - p < kCell) {
            out.append(buffer, static_cast<size_t>(p - buffer));
            p = buffer;
        }
        if (char* end = writeWholeRatioText(p, values[k], unity, 9, 5)) {
            p = end;
        } else {
            out.append(buffer, static_cast<size_t>(p - buffer));
            p = buffer;
            appendScaled(out, values[k], unity);
        }
        for (int b = 0; b < blanks; ++b)
            *p++ = ' ';
    }
    out.append(buffer, static_cast<size_t>(p - buffer));
}

NumberTextCache::VectorEntry& NumberTextCache::vectorSlotOf(std::unique_ptr<VectorEntry[]>& table,
                                                            const double* values, int n, int unity, bool& hit)
{
    if (!table)
        table = std::make_unique<VectorEntry[]>(size_t{1} << kVectorSlotBits);
    uint64_t hash = static_cast<uint64_t>(n) * 0x9E3779B97F4A7C15ull + static_cast<uint64_t>(unity);
    for (int k = 0; k < n; ++k)
        hash = (hash ^ bitsOf(values[k])) * 0x9E3779B97F4A7C15ull;
    VectorEntry& entry = table[hash >> (64 - kVectorSlotBits)];
    hit = entry.count == n && entry.unity == unity &&
          std::memcmp(entry.values, values, sizeof(double) * static_cast<size_t>(n)) == 0;
    return entry;
}

void NumberTextCache::appendScaledVector(std::string& out, const double* values, int n, int unity)
{
    bool hit = false;
    VectorEntry* entry = n > 0 && n <= kVectorMost ? &vectorSlotOf(scaledVectors_, values, n, unity, hit) : nullptr;
    if (hit) {
        out += entry->text;
        return;
    }
    const size_t start = out.size();
    appendScaledRun(out, values, n, unity, 1);
    if (entry) {
        entry->text.assign(out, start);
        std::memcpy(entry->values, values, sizeof(double) * static_cast<size_t>(n));
        entry->count = n;
        entry->unity = unity;
    }
}

void NumberTextCache::appendShortExpVector(std::string& out, const double* values, int n)
{
    bool hit = false;
    VectorEntry* entry = n > 0 && n <= kVectorMost ? &vectorSlotOf(shortExpVectors_, values, n, 0, hit) : nullptr;
    if (hit) {
        out += entry->text;
        return;
    }
    const size_t start = out.size();
    for (int k = 0; k < n; ++k) {
        appendShortExp(out, values[k]);
        out += ' ';
    }
    if (entry) {
        entry->text.assign(out, start);
        std::memcpy(entry->values, values, sizeof(double) * static_cast<size_t>(n));
        entry->count = n;
        entry->unity = 0;
    }
}

} // namespace duolink
