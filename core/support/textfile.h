// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The engine's text files: a report writer and a number-scanning reader.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "core/support/numgrammar.h"

namespace duolink {

// Opens an existing file for reading; returns its descriptor, or -1 with errno
// set. Only regular files are opened: a folder gives EISDIR, and a device,
// pipe or socket kNotRegularFile, as reading one could block or never end.
int openInputFile(const std::string& name) noexcept;

// A descriptor that is closed when it goes, whichever way the reading ends.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) noexcept : fd_(fd) {}
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    ~FileDescriptor();
    int get() const noexcept { return fd_; }
    // Closes now: 0, or the errno of a close that failed.
    int close() noexcept;

private:
    int fd_;
};
// Creates or empties a file for writing; returns its descriptor, or -1 with
// errno set. A pipe that nobody reads fails with ENXIO instead of holding the
// command forever.
int openOutputFile(const std::string& name) noexcept;
// Writes all of `data` to `fd`, going on after interruptions and partial
// writes. Returns 0, or the errno of the write that failed; `written` tells
// how much went out either way.
int writeAll(int fd, std::string_view data, size_t& written) noexcept;

// A text file written line by line with CR LF line ends. write() leaves the
// line open and pushes everything written so far to the file at once;
// writeLn() ends the line. Failures raise RunError with the standard message.
class ReportFile {
public:
    ReportFile() = default;
    ReportFile(const ReportFile&) = delete;
    ReportFile& operator=(const ReportFile&) = delete;
    ~ReportFile();

    // Creates the file at `path`, or empties it; errors name it `name`.
    void create(const std::string& path, const std::string& name);
    void create(const std::string& name) { create(name, name); }
    // Opens no file: everything written until close is dropped.
    void discard(const std::string& name);
    bool isOpen() const { return fd_ >= 0 || discarding_; }
    bool discards() const { return discarding_; }
    void write(std::string_view text);           // then flush
    void writeLn(std::string_view text = {});    // text and CR LF
    void flush();
    void close();                                // flushes; raises on failure
    void closeQuietly() noexcept;                // for unwinding paths
    const std::string& name() const { return name_; }

private:
    void append(std::string_view text);
    int fd_ = -1;
    bool discarding_ = false;
    std::string name_;
    std::string buffer_;
};

// A real value read from the token after `start` (TextReader::readReal):
// the next read goes on at `end`.
struct ReadValue {
    size_t start;
    size_t end;
    double value;
    bool ok;
};
// Reads of a text known before it is read, by their starts in rising order:
// what writes a text can tell what reading it gives, and so spare the parse.
struct KnownReads {
    std::vector<ReadValue> reads;
    std::string text; // the text they are of
    // Whether they are of `text`: one changed after they were made is not.
    bool areOf(std::string_view other) const { return other == text; }
};

// A text file read through the shared number grammar. The whole file is read
// when it is opened; reopening rewinds.
class TextReader {
public:
    // Opens (or reopens from the start) the file at `path`, named `name`;
    // raises RunError naming `name` on failure.
    void open(const std::string& path, const std::string& name);
    void open(const std::string& name) { open(name, name); }
    // Reads `text` as the content of a file named `name`. A real read from
    // the start of one of `known`, which must be reads of `text`, gives it
    // without parsing the text.
    void openText(const std::string& name, std::string text, std::shared_ptr<const KnownReads> known = {});
    // Back to the start of what was read, without reading the file again. A
    // run rereads its data files at every presentation: this serves them from
    // memory. Only for an open reader.
    // What was read is kept too: the values read again in the same order
    // come from memory as well.
    void rewind()
    {
        pos_ = 0;
        replayed_ = 0;
        knownAt_ = 0;
    }
    void close() noexcept;
    bool isOpen() const { return open_; }
    const std::string& name() const { return name_; }
    // True when every character has been read.
    bool eof() const { return pos_ >= data_.size(); }
    // True when a further value is left (not only blanks and line ends).
    bool hasValue() const;

    // The next token (see readToken), of at most maxLen (up to 64)
    // characters. Returns false at the end of the file.
    bool nextToken(std::string_view& token, size_t maxLen);
    // A real value: 0 at the end of the file. When the token is not a number
    // `ok` is set false and 0 is returned.
    double readReal(bool& ok)
    {
        if (replayed_ < values_.size() && values_[replayed_].start == pos_) {
            const ReadValue& read = values_[replayed_++];
            pos_ = read.end;
            ok = read.ok;
            return read.value;
        }
        return readNewReal(ok);
    }
    // An integer value: 0 at the end of the file; `ok` false when malformed.
    long long readInt(bool& ok);
    // Discards the rest of the current line, including its line feed.
    void skipLine();
    // The line (from 1) of the character to be read next; for messages.
    size_t lineNumber() const;

    // The longest token a read takes whole.
    static constexpr size_t kMaxToken = 64;

private:
    void forgetValues() noexcept;
    double readNewReal(bool& ok);

    std::string name_;
    std::string data_;
    // The last two short tokens read anew and their values: files of
    // patterns hold few distinct numbers.
    struct ParsedToken {
        char text[16];
        size_t length = 0; // 0: none yet
        double value = 0;
        bool ok = false;
    };
    ParsedToken parsed_[2];
    std::shared_ptr<const KnownReads> known_;
    size_t knownAt_ = 0;            // the first of them not yet behind the reader
    std::vector<ReadValue> values_; // in the order they were read
    size_t replayed_ = 0;           // how many of them this pass met again
    char token_[kMaxToken];
    size_t pos_ = 0;
    bool open_ = false;
};

} // namespace duolink
