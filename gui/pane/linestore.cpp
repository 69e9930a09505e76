// SPDX-License-Identifier: GPL-3.0-or-later
#include "pane/linestore.h"

#include <zstd.h>

#include <algorithm>
#include <condition_variable>
#include <cstring>
#include <deque>
#include <mutex>
#include <new>
#include <stdexcept>
#include <thread>
#include <utility>

namespace duolink {
namespace {

// Level 1 packs the engine's tables about tenfold at several hundred MB/s;
// higher levels gain little on this text and cost much more time.
constexpr int kLevel = 1;

// A packed block is the line count, the line lengths, then the text.
void appendU32(std::string& out, uint32_t v)
{
    out.append(reinterpret_cast<const char*>(&v), sizeof v);
}

} // namespace

struct LineStore::Codec {
    ZSTD_DCtx* unpack = ZSTD_createDCtx();
    ~Codec() { ZSTD_freeDCtx(unpack); }
};

namespace {

// Makes `buffer` hold n elements in about n elements of memory: a buffer
// grown in place would take up to twice that, cache slot after cache slot.
template <class Buffer> void resizeExactly(Buffer& buffer, size_t n)
{
    if (buffer.capacity() < n || buffer.capacity() > n + n / 8) {
        Buffer fresh;
        fresh.reserve(n);
        buffer.swap(fresh);
    }
    buffer.resize(n);
}

} // namespace

// The packing thread: takes blocks from `queue`, puts them packed into
// `finished`. A block of an earlier generation (before a clear) is dropped.
struct LineStore::Packer {
    struct Job {
        size_t block;
        uint64_t generation;
        std::shared_ptr<const Lines> raw;
    };
    struct Result {
        size_t block;
        uint64_t generation;
        std::unique_ptr<char[]> packed; // null when packing failed
        size_t bytes;
    };

    std::mutex mutex;
    std::condition_variable wake;     // work or stop, for the thread
    std::condition_variable finishedOne;
    std::deque<Job> queue;
    std::vector<Result> finished;
    uint64_t generation = 0;
    bool stop = false;
    std::thread thread{[this] { run(); }};

    ~Packer()
    {
        {
            std::lock_guard lock(mutex);
            stop = true;
            queue.clear();
        }
        wake.notify_one();
        thread.join();
    }

    void run()
    {
        ZSTD_CCtx* context = ZSTD_createCCtx();
        std::string lengths;    // the line count and lengths, before packing
        std::vector<char> out;  // room for the packed block
        std::unique_lock lock(mutex);
        for (;;) {
            wake.wait(lock, [this] { return stop || !queue.empty(); });
            if (stop)
                break;
            Job job = std::move(queue.front());
            queue.pop_front();
            lock.unlock();
            Result result{job.block, job.generation, nullptr, 0};
            // Without memory for it the block just stays unpacked.
            const std::string& text = job.raw->text;
            try {
                layOutLengths(*job.raw, lengths);
                out.resize(ZSTD_compressBound(lengths.size()) + ZSTD_compressBound(text.size()));
            } catch (const std::bad_alloc&) {
                out.clear();
            }
            if (context && !out.empty()) {
                // Two frames, which unpack as one: the lengths, then the
                // text straight from the block.
                const size_t n1 =
                    ZSTD_compressCCtx(context, out.data(), out.size(), lengths.data(), lengths.size(), kLevel);
                const size_t n2 = ZSTD_isError(n1) ? n1
                                                   : ZSTD_compressCCtx(context, out.data() + n1, out.size() - n1,
                                                                       text.data(), text.size(), kLevel);
                if (!ZSTD_isError(n2))
                    if ((result.packed = std::unique_ptr<char[]>(new (std::nothrow) char[n1 + n2])))
                        std::memcpy(result.packed.get(), out.data(), result.bytes = n1 + n2);
            }
            job.raw.reset();
            lock.lock();
            finished.push_back(std::move(result));
            finishedOne.notify_one();
        }
        lock.unlock();
        ZSTD_freeCCtx(context);
    }

    // The line count and the line lengths, which the text follows. Lengths
    // rather than ends: the tables' lines repeat a few lengths, which pack
    // far better than ever-growing positions.
    static void layOutLengths(const Lines& lines, std::string& raw)
    {
        raw.clear();
        raw.reserve(sizeof(uint32_t) * (1 + lines.ends.size()));
        appendU32(raw, static_cast<uint32_t>(lines.ends.size()));
        uint32_t start = 0;
        for (uint32_t end : lines.ends) {
            appendU32(raw, end - start);
            start = end;
        }
    }
};

LineStore::LineStore() : codec_(std::make_unique<Codec>())
{
    if (!codec_->unpack)
        throw std::bad_alloc();
}

LineStore::~LineStore() = default;

void LineStore::append(std::string_view line)
{
    if (open_.text.size() + line.size() > UINT32_MAX)
        seal();
    if (open_.text.capacity() == 0)
        open_.text.reserve(size_t(64) << 10);
    open_.text.append(line);
    open_.ends.push_back(static_cast<uint32_t>(open_.text.size()));
    ++lineCount_;
    textBytes_ += line.size();
    longest_ = std::max(longest_, line.size());
    if (open_.text.size() >= kBlockBytes)
        seal();
}

void LineStore::appendLines(std::string&& text, std::vector<uint32_t>&& lengths)
{
    if (lengths.empty())
        return;
    if (text.size() < kBlockBytes / 2 || text.size() > UINT32_MAX) {
        // A short piece joins the open block.
        size_t at = 0;
        for (uint32_t n : lengths) {
            append(std::string_view(text).substr(at, n));
            at += n;
        }
        return;
    }
    Lines lines{std::move(text), std::move(lengths)};
    size_t longest = longest_;
    uint32_t end = 0;
    for (uint32_t& e : lines.ends) {
        longest = std::max<size_t>(longest, e);
        if (e > lines.text.size() - end)
            throw std::invalid_argument("LineStore::appendLines: the lengths exceed the text");
        e = end += e;
    }
    if (end != lines.text.size())
        throw std::invalid_argument("LineStore::appendLines: the lengths do not add up to the text");
    seal(); // the lines before these first
    lineCount_ += lines.ends.size();
    textBytes_ += lines.text.size();
    longest_ = longest;
    addBlock(std::move(lines));
}

void LineStore::seal()
{
    if (open_.ends.empty())
        return;
    addBlock(std::exchange(open_, Lines()));
}

void LineStore::addBlock(Lines&& lines)
{
    // The newest block kept its text for the view at the end; not any longer.
    if (!blocks_.empty() && blocks_.back().packed)
        blocks_.back().raw.reset();
    auto raw = std::make_shared<const Lines>(std::move(lines));
    Block block;
    block.raw = raw;
    block.lines = static_cast<uint32_t>(raw->ends.size());
    block.firstLine = lineCount_ - raw->ends.size();
    block.base = openBase_;
    block.textBytes = raw->text.size();
    blocks_.push_back(std::move(block));
    openBase_ += raw->text.size();
    heldBytes_ += raw->text.size();
    handOver();
    takePacked(kMaxWaiting);
}

void LineStore::handOver()
{
    if (heldBytes_ <= unpackedAllowance_)
        return;
    if (!packer_)
        packer_ = std::make_unique<Packer>();
    {
        std::lock_guard lock(packer_->mutex);
        for (; heldBytes_ > unpackedAllowance_ && firstHeld_ < blocks_.size(); ++firstHeld_, ++waiting_) {
            packer_->queue.push_back({firstHeld_, packer_->generation, blocks_[firstHeld_].raw});
            heldBytes_ -= blocks_[firstHeld_].textBytes;
        }
    }
    packer_->wake.notify_one();
}

void LineStore::setUnpackedAllowance(size_t bytes)
{
    unpackedAllowance_ = bytes;
    handOver();
}

void LineStore::takePacked(size_t waitBelow)
{
    if (!packer_ || waiting_ == 0)
        return;
    std::vector<Packer::Result> finished;
    {
        std::unique_lock lock(packer_->mutex);
        if (waiting_ >= waitBelow)
            packer_->finishedOne.wait(lock, [&] { return !packer_->finished.empty(); });
        finished.swap(packer_->finished);
        // Results of blocks cleared away are not counted in waiting_.
        std::erase_if(finished, [&](const Packer::Result& r) { return r.generation != packer_->generation; });
    }
    for (Packer::Result& r : finished) {
        --waiting_;
        if (!r.packed)
            continue;
        Block& block = blocks_[r.block];
        block.packed = std::move(r.packed);
        block.packedBytes = static_cast<uint32_t>(r.bytes);
        // The newest block keeps its text while it is the newest: a view
        // that follows a run shows its lines at every repaint.
        if (r.block + 1 < blocks_.size())
            block.raw.reset();
    }
}

bool LineStore::collectPacked()
{
    takePacked();
    return waiting_ > 0;
}

void LineStore::clear()
{
    if (packer_) {
        std::lock_guard lock(packer_->mutex);
        packer_->queue.clear();
        packer_->finished.clear();
        ++packer_->generation;
    }
    waiting_ = 0;
    firstHeld_ = 0;
    heldBytes_ = 0;
    // Swapped with empty ones, so that their memory goes too.
    std::vector<Block>().swap(blocks_);
    std::string().swap(open_.text);
    std::vector<uint32_t>().swap(open_.ends);
    for (CacheSlot& slot : cache_) {
        slot.block = SIZE_MAX;
        std::string().swap(slot.lines.text);
        std::vector<uint32_t>().swap(slot.lines.ends);
    }
    openBase_ = 0;
    lineCount_ = 0;
    textBytes_ = 0;
    longest_ = 0;
}

size_t LineStore::blockOf(size_t i) const
{
    auto it = std::upper_bound(blocks_.begin(), blocks_.end(), i,
                               [](size_t line, const Block& b) { return line < b.firstLine; });
    return static_cast<size_t>(it - blocks_.begin()) - 1;
}

const LineStore::Lines& LineStore::linesOf(size_t i, size_t& firstLine) const
{
    const size_t sealedLines = lineCount_ - open_.ends.size();
    if (i >= sealedLines) {
        firstLine = sealedLines;
        return open_;
    }
    const size_t b = blockOf(i);
    const Block& block = blocks_[b];
    firstLine = block.firstLine;
    if (block.raw)
        return *block.raw; // not packed yet: read as it came

    CacheSlot* slot = &cache_[0];
    for (CacheSlot& s : cache_) {
        if (s.block == b) {
            s.lastUse = ++useCounter_;
            return s.lines;
        }
        if (s.lastUse < slot->lastUse)
            slot = &s;
    }
    // Unpacked straight into the slot: the lines follow their count and
    // lengths there.
    const size_t skip = sizeof(uint32_t) * (1 + block.lines);
    const size_t rawBytes = skip + block.textBytes;
    Lines& lines = slot->lines;
    slot->block = SIZE_MAX; // until it holds the block whole
    resizeExactly(lines.text, rawBytes);
    const size_t n =
        ZSTD_decompressDCtx(codec_->unpack, lines.text.data(), rawBytes, block.packed.get(), block.packedBytes);
    if (ZSTD_isError(n) || n != rawBytes)
        throw std::runtime_error("The console pane's store is damaged");
    resizeExactly(lines.ends, block.lines);
    std::memcpy(lines.ends.data(), lines.text.data() + sizeof(uint32_t), block.lines * sizeof(uint32_t));
    uint32_t end = 0;
    for (uint32_t& e : lines.ends)
        e = end += e;
    lines.skip = skip;
    slot->block = b;
    slot->lastUse = ++useCounter_;
    return lines;
}

std::string_view LineStore::operator[](size_t i) const
{
    size_t first = 0;
    const Lines& lines = linesOf(i, first);
    return lines.line(i - first);
}

uint64_t LineStore::offsetOf(size_t i) const
{
    if (i >= lineCount_)
        return textBytes_;
    size_t first = 0;
    const Lines& lines = linesOf(i, first);
    const uint64_t base = i >= lineCount_ - open_.ends.size() ? openBase_ : blocks_[blockOf(i)].base;
    return base + (i > first ? lines.ends[i - first - 1] : 0);
}

void LineStore::appendText(std::string& out, size_t first, size_t last) const
{
    for (size_t i = first; i < last;) {
        size_t blockFirst = 0;
        const Lines& lines = linesOf(i, blockFirst);
        const size_t end = std::min<size_t>(last, blockFirst + lines.ends.size());
        for (; i < end; ++i) {
            if (i != first)
                out += '\n';
            out += lines.line(i - blockFirst);
        }
    }
}

size_t LineStore::storeBytes() const
{
    size_t bytes = blocks_.capacity() * sizeof(Block) + open_.text.capacity() +
                   open_.ends.capacity() * sizeof(uint32_t);
    for (const Block& b : blocks_)
        bytes += (b.raw ? b.raw->text.capacity() + b.raw->ends.capacity() * sizeof(uint32_t) : 0) +
                 (b.packed ? b.packedBytes : 0);
    for (const CacheSlot& s : cache_)
        bytes += s.lines.text.capacity() + s.lines.ends.capacity() * sizeof(uint32_t);
    return bytes;
}

} // namespace duolink
