// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The console pane's lines, kept compact: lines are gathered into blocks of
// about 512 KB of text, and each full block is compressed (zstd). Reading a
// line unpacks its block into a small cache, so that a screenful of lines or
// a run of neighbouring lines costs one unpacking per block. A long Solve's
// pane text, hundreds of megabytes of number tables, takes a few percent of
// that in memory. Blocks are packed on a thread of the store's own, so that
// the thread that appends only hands text over: a block waiting for it reads
// from its text as it is, and when too many wait, appending waits too.
// A run's output arrives as pieces of lines that become blocks as they are,
// without being copied (appendLines).
#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace duolink {

class LineStore {
public:
    LineStore();
    ~LineStore();
    LineStore(const LineStore&) = delete;
    LineStore& operator=(const LineStore&) = delete;

    void append(std::string_view line);
    // Appends the lines whose lengths are `lengths` and whose texts, joined
    // without separators, are `text` (their lengths must add up to its size).
    // A piece of about a block or more becomes a block of its own, taking
    // over the memory of both.
    void appendLines(std::string&& text, std::vector<uint32_t>&& lengths);
    // Forgets every line and frees the memory they held.
    void clear();
    // Takes the blocks the packer has finished, freeing their unpacked
    // text, without waiting; true while others are still being packed.
    bool collectPacked();
    // Up to `bytes` of full blocks wait unpacked before they go to the
    // packer, oldest first (none by default): a run's output is then packed
    // while the run goes on only beyond that, and the rest once the
    // allowance is set back to 0, which hands it over at once.
    void setUnpackedAllowance(size_t bytes);

    size_t size() const { return lineCount_; }
    // Line i. The view stays valid until the store changes or a few other
    // blocks have been read.
    std::string_view operator[](size_t i) const;
    // Length of the longest line, in characters.
    size_t longest() const { return longest_; }
    // Characters of all lines, without separators.
    uint64_t textBytes() const { return textBytes_; }
    // Characters of the lines before line i.
    uint64_t offsetOf(size_t i) const;
    // Appends lines [first, last) to `out`, each but the last followed by '\n'.
    void appendText(std::string& out, size_t first, size_t last) const;
    // Bytes of memory the lines take: packed blocks, the open block, the
    // index and the cache of unpacked blocks.
    size_t storeBytes() const;

    // Text bytes after which a block is packed. A run's tables repeat at a
    // distance of a presentation's output, often hundreds of KB: blocks this
    // large pack them about a third smaller, and faster, than blocks of
    // 64 KB, and unpacking one still takes well under a millisecond.
    static constexpr size_t kBlockBytes = size_t(512) << 10;
    // Blocks that may wait for packing before appending waits for the packer.
    static constexpr size_t kMaxWaiting = 12;

private:
    // A block as text and line ends, for the open block and unpacked ones.
    struct Lines {
        std::string text;
        std::vector<uint32_t> ends; // end of each line, from the start of the lines
        // Characters of `text` before the lines: an unpacked block keeps its
        // line count and lengths there, as they were packed.
        size_t skip = 0;
        std::string_view line(size_t k) const
        {
            const uint32_t start = k ? ends[k - 1] : 0;
            return std::string_view(text).substr(skip + start, ends[k] - start);
        }
    };
    struct Block {
        // The lines as they came while the block waits for the packer;
        // empty once it is packed, unless it is the newest block.
        std::shared_ptr<const Lines> raw;
        // Packed, as frames that unpack as one: the line count, the line
        // lengths, then the text.
        std::unique_ptr<char[]> packed;
        uint32_t packedBytes = 0;
        uint32_t lines = 0;
        uint64_t firstLine = 0;
        uint64_t base = 0;     // characters of all lines before this block
        uint64_t textBytes = 0;
    };
    struct CacheSlot {
        size_t block = SIZE_MAX;
        uint64_t lastUse = 0;
        Lines lines;
    };

    // Makes the open block a block of its own.
    void seal();
    // Adds `lines`, already counted in the totals, as the newest block and
    // hands what is beyond the allowance to the packer.
    void addBlock(Lines&& lines);
    // Hands the oldest blocks not yet handed over to the packer while more
    // than the allowance of them wait.
    void handOver();
    // Takes the blocks the packer has finished; with `waitBelow`, first waits
    // until fewer than that many blocks are waiting.
    void takePacked(size_t waitBelow = SIZE_MAX);
    // The block holding line i, unpacked; the open block when i is there.
    const Lines& linesOf(size_t i, size_t& firstLine) const;
    size_t blockOf(size_t i) const;

    std::vector<Block> blocks_;
    Lines open_;
    uint64_t openBase_ = 0;
    size_t lineCount_ = 0;
    uint64_t textBytes_ = 0;
    size_t longest_ = 0;

    // Unpacks with zstd.
    struct Codec;
    std::unique_ptr<Codec> codec_;
    struct Packer;
    std::unique_ptr<Packer> packer_;
    size_t waiting_ = 0; // blocks handed to the packer and not yet taken back
    size_t unpackedAllowance_ = 0;
    size_t firstHeld_ = 0;  // the first block not yet handed to the packer
    uint64_t heldBytes_ = 0; // text of the blocks from there on
    mutable std::array<CacheSlot, 3> cache_;
    mutable uint64_t useCounter_ = 0;
};

} // namespace duolink
