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

    // One kept text: the value's bits and its text.
    struct Entry {
        uint64_t bits = 0;
        uint8_t length = 0; // 0: empty
        char text[23];
    };

private:
    static constexpr int kSlotBits = 11;
    // The slot of a value's bits in `table`, made on first use.
    static Entry& slotOf(std::unique_ptr<Entry[]>& table, uint64_t bits);

    std::unique_ptr<Entry[]> scaled_;
    std::unique_ptr<Entry[]> shortExp_;
    int scaledUnity_ = 0;
};

} // namespace duolink
