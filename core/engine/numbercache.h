#pragma once
// The number texts a run shows again and again (the matrix after every
// corrected pair, the same patterns at every presentation), kept by value so
// that each distinct value is formatted once.
#include <cstdint>
#include <memory>
#include <string>

namespace duolink {

class NumberTextCache {
public:
    // Appends realTextWD(fdiv(value, unity), 9, 5), raising what fdiv raises.
    void appendScaled(std::string& out, double value, int unity);
    // Appends expText(value, 2).
    void appendShortExp(std::string& out, double value);

    // The scaled texts of values[0..n), each followed by `blanks` blanks.
    void appendScaledRun(std::string& out, const double* values, int n, int unity, int blanks);

    // Up to kVectorMost values, each text followed by a blank, as the
    // two calls above give them.
    static constexpr int kVectorMost = 16;
    void appendScaledVector(std::string& out, const double* values, int n, int unity);
    void appendShortExpVector(std::string& out, const double* values, int n);

    // One kept text: the value's bits and its text.
    struct Entry {
        uint64_t bits = 0;
        uint8_t length = 0; // 0: empty
        char text[23];
    };

    // One kept vector text: its values and its text.
    struct VectorEntry {
        int count = 0; // 0: empty
        int unity = 0;
        double values[kVectorMost];
        std::string text;
    };

private:
    static constexpr int kSlotBits = 11;
    static constexpr int kVectorSlotBits = 10;
    // The slot of a vector in `table`, made on first use; `hit` tells
    // whether it holds the vector's text.
    static VectorEntry& vectorSlotOf(std::unique_ptr<VectorEntry[]>& table, const double* values, int n, int unity,
                                     bool& hit);
    // The slot of a value's bits in `table`, made on first use.
    static Entry& slotOf(std::unique_ptr<Entry[]>& table, uint64_t bits);

    std::unique_ptr<Entry[]> scaled_;
    std::unique_ptr<Entry[]> shortExp_;
    std::unique_ptr<VectorEntry[]> scaledVectors_;
    std::unique_ptr<VectorEntry[]> shortExpVectors_;
    int scaledUnity_ = 0;
};

} // namespace duolink
