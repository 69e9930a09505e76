// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// An output file that takes the place of an old one only when it is
// complete (through the one atomic-write helper, core/atomicwrite.h), written
// as it comes so that a long analysis holds no more than a buffer of it.
// Dropped without commit(), the old file stays as it was.
#include <memory>
#include <string>
#include <string_view>

namespace duolink {
class AtomicFile;
}

namespace duolink::analysis {

class ReplacingOutput {
public:
    ReplacingOutput();
    ReplacingOutput(const ReplacingOutput&) = delete;
    ReplacingOutput& operator=(const ReplacingOutput&) = delete;
    ~ReplacingOutput();

    // Each raises RunError naming the file.
    void open(const std::string& path);
    void write(std::string_view text); // buffered
    void commit();

private:
    void flush();
    void check(int error) const;
    std::string path_;
    std::string buffer_;
    std::unique_ptr<AtomicFile> file_;
};

// Writes a whole file through the atomic-write helper; raises RunError.
void replaceWholeFile(const std::string& path, std::string_view text);

} // namespace duolink::analysis
