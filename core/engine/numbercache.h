// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The number texts of the engine's pattern and matrix lines, written a run
// of values at a time. Whole values over a unity that divides 10^5 (nearly
// all of them: the engine's numbers are whole) are written from integers;
// the others are kept by value, so that each is formatted once.
#include <cstdint>
#include <memory>
#include <string>

#include "core/support/numtext.h"

namespace duolink {

class NumberTextCache {
public:
    // Appends realTextWD(fdiv(value, unity), 9, 5) for each of values[0..n),
    // each followed by `blanks` (0 to 2) blanks, raising what fdiv raises.
    void appendScaledRun(std::string& out, const double* values, int n, int unity, int blanks);
    // The writer appendScaledRun uses for `unity` (width 9, five decimals).
    const WholeRatioWriter& wholeRatios(int unity)
    {
        if (unity != wholeRatios_.unity())
            wholeRatios_ = WholeRatioWriter(unity, 9, 5);
        return wholeRatios_;
    }
    // Appends expText(value, 2) and a blank for each of values[0..n).
    static void appendShortExpRun(std::string& out, const double* values, int n);

    // One kept text: the value's bits and its text.
    struct Entry {
        uint64_t bits = 0;
        uint8_t length = 0; // 0: empty
        char text[23];
    };

private:
    static constexpr int kSlotBits = 9;
    // Appends the scaled text of a value that WholeRatioWriter does not take.
    void appendScaled(std::string& out, double value, int unity);
    // The slot of a value's bits, the table made on first use.
    Entry& slotOf(uint64_t bits);

    std::unique_ptr<Entry[]> scaled_;
    int scaledUnity_ = 0;
    WholeRatioWriter wholeRatios_;
};

} // namespace duolink
