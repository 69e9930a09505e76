// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/support/textfile.h"

#include <cerrno>
#include <algorithm>
#include <cstring>
#include <iterator>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/support/atomicwrite.h"
#include "core/support/errors.h"

namespace duolink {

// --- Opening ---------------------------------------------------------------------

FileDescriptor::~FileDescriptor()
{
    if (fd_ >= 0)
        ::close(fd_);
}

int FileDescriptor::close() noexcept
{
    const int fd = fd_;
    fd_ = -1;
    // After EINTR the descriptor is gone all the same.
    return fd >= 0 && ::close(fd) != 0 && errno != EINTR ? errno : 0;
}

int openInputFile(const std::string& name) noexcept
{
    int fd = ::open(name.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st{};
    int refusal = 0;
    if (::fstat(fd, &st) != 0)
        refusal = errno;
    else if (S_ISDIR(st.st_mode))
        refusal = EISDIR;
    else if (!S_ISREG(st.st_mode))
        refusal = kNotRegularFile;
    if (refusal != 0) {
        ::close(fd);
        errno = refusal;
        return -1;
    }
    return fd;
}

int openOutputFile(const std::string& name) noexcept
{
    int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    // Writes then wait as usual (a device or a pipe with a reader).
    int flags = ::fcntl(fd, F_GETFL);
    if (flags >= 0)
        (void)::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK);
    return fd;
}

int writeAll(int fd, std::string_view data, size_t& written) noexcept
{
    written = 0;
    while (written < data.size()) {
        ssize_t n = ::write(fd, data.data() + written, data.size() - written);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return errno;
        if (n == 0)
            return EIO; // no progress: give up rather than spin
        written += static_cast<size_t>(n);
    }
    return 0;
}

// --- ReportFile ------------------------------------------------------------------

ReportFile::~ReportFile()
{
    closeQuietly();
}

void ReportFile::create(const std::string& path, const std::string& name)
{
    closeQuietly();
    int fd = openOutputFile(path);
    if (fd < 0)
        throwIoError(errno, name);
    fd_ = fd;
    name_ = name;
    buffer_.clear();
}

void ReportFile::discard(const std::string& name)
{
    closeQuietly();
    discarding_ = true;
    name_ = name;
    buffer_.clear();
}

void ReportFile::append(std::string_view text)
{
    if (fd_ < 0)
        throw RunError("File not open");
    buffer_.append(text);
}

void ReportFile::write(std::string_view text)
{
    if (discarding_)
        return;
    if (fd_ >= 0 && buffer_.empty()) {
        // Nothing waits before it: straight to the file, without a copy.
        size_t written = 0;
        if (int err = writeAll(fd_, text, written)) {
            buffer_.assign(text.substr(written));
            throwIoError(err, name_);
        }
        return;
    }
    append(text);
    flush();
}

void ReportFile::writeLn(std::string_view text)
{
    if (discarding_)
        return;
    append(text);
    buffer_.append("\r\n");
    if (buffer_.size() >= (1u << 16))
        flush();
}

void ReportFile::flush()
{
    if (discarding_)
        return;
    if (fd_ < 0)
        throw RunError("File not open");
    size_t written = 0;
    if (int err = writeAll(fd_, buffer_, written)) {
        // What went out is in the file; the rest stays for a later try.
        buffer_.erase(0, written);
        throwIoError(err, name_);
    }
    buffer_.clear();
}

void ReportFile::close()
{
    discarding_ = false;
    if (fd_ < 0)
        return;
    try {
        flush();
    } catch (...) {
        closeQuietly();
        throw;
    }
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0 && errno != EINTR)
        throwIoError(errno, name_);
}

void ReportFile::closeQuietly() noexcept
{
    discarding_ = false;
    if (fd_ < 0)
        return;
    size_t written = 0;
    (void)writeAll(fd_, buffer_, written);
    buffer_.clear();
    ::close(fd_);
    fd_ = -1;
}

// --- TextReader --------------------------------------------------------------------

void TextReader::openText(const std::string& name, std::string text, std::shared_ptr<const KnownReads> known)
{
    close();
    name_ = name;
    data_ = std::move(text);
    pos_ = 0;
    forgetValues();
    known_ = std::move(known);
    // About one value in every eight characters of a file of patterns.
    values_.reserve(data_.size() / 8 + 16);
    open_ = true;
}

void TextReader::open(const std::string& path, const std::string& name)
{
    close();
    int fd = openInputFile(path);
    if (fd < 0)
        throwIoError(errno, name);
    std::string content;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int err = errno;
            ::close(fd);
            throwIoError(err, name);
        }
        if (n == 0)
            break;
        content.append(buf, static_cast<size_t>(n));
    }
    ::close(fd);
    name_ = name;
    data_ = std::move(content);
    pos_ = 0;
    forgetValues();
    open_ = true;
}

void TextReader::close() noexcept
{
    open_ = false;
    data_.clear();
    data_.shrink_to_fit();
    pos_ = 0;
    forgetValues();
}

bool TextReader::nextToken(std::string_view& token, size_t maxLen)
{
    // Read through a cursor of its own, which the copied characters cannot
    // be taken to overwrite: it stays in registers.
    struct Cursor {
        const char* at;
        const char* end;
        int peek() const { return at < end ? static_cast<unsigned char>(*at) : -1; }
        void advance() { ++at; }
    } cursor{data_.data() + pos_, data_.data() + data_.size()};
    const size_t length = readToken(cursor, token_, std::min(maxLen, kMaxToken));
    pos_ = static_cast<size_t>(cursor.at - data_.data());
    token = std::string_view(token_, length);
    return length > 0;
}

double TextReader::readNewReal(bool& ok)
{
    // A pass that left the order of the last one keeps what it reads anew.
    values_.resize(replayed_);
    const size_t start = pos_;
    if (known_) {
        const std::vector<ReadValue>& known = known_->reads;
        while (knownAt_ < known.size() && known[knownAt_].start < start)
            ++knownAt_;
        if (knownAt_ < known.size() && known[knownAt_].start == start) {
            const ReadValue& read = known[knownAt_++];
            values_.push_back(read);
            ++replayed_;
            pos_ = read.end;
            ok = read.ok;
            return read.value;
        }
    }
    ok = true;
    std::string_view token;
    double value = 0.0;
    if (nextToken(token, 64)) {
        // Short texts compared a character at a time: a library call costs
        // more than the few characters.
        const auto same = [&](const ParsedToken& p) {
            if (p.length != token.size())
                return false;
            for (size_t k = 0; k < p.length; ++k)
                if (p.text[k] != token[k])
                    return false;
            return true;
        };
        ParsedToken* const known = std::find_if(std::begin(parsed_), std::end(parsed_), same);
        if (known != std::end(parsed_)) {
            value = known->value;
            ok = known->ok;
        } else {
            ok = parseRealToken(token, value);
            if (!ok)
                value = 0.0;
            if (token.size() <= sizeof parsed_[0].text) {
                parsed_[1] = parsed_[0];
                std::memcpy(parsed_[0].text, token.data(), token.size());
                parsed_[0].length = token.size();
                parsed_[0].value = value;
                parsed_[0].ok = ok;
            }
        }
    }
    values_.push_back({start, pos_, value, ok});
    ++replayed_;
    return value;
}

void TextReader::forgetValues() noexcept
{
    values_.clear();
    values_.shrink_to_fit();
    replayed_ = 0;
    known_.reset();
    knownAt_ = 0;
}

long long TextReader::readInt(bool& ok)
{
    ok = true;
    std::string_view token;
    if (!nextToken(token, 32))
        return 0;
    long long value = 0;
    ok = parseIntToken(token, value);
    return ok ? value : 0;
}

bool TextReader::hasValue() const
{
    for (size_t p = pos_; p < data_.size(); ++p)
        if (static_cast<unsigned char>(data_[p]) > 32)
            return true;
    return false;
}

size_t TextReader::lineNumber() const
{
    return 1 + static_cast<size_t>(std::count(data_.begin(), data_.begin() + static_cast<std::ptrdiff_t>(std::min(pos_, data_.size())), '\n'));
}

void TextReader::skipLine()
{
    while (pos_ < data_.size() && data_[pos_] != '\n')
        ++pos_;
    if (pos_ < data_.size())
        ++pos_;
}

} // namespace duolink
