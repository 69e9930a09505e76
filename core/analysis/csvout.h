#pragma once
// An output file that takes the place of an old one only when it is
// complete: the text goes to a temporary file beside it as it comes, and
// commit() renames that into place. Dropped without commit(), the temporary
// file is removed and the old file stays.
#include <string>
#include <string_view>

namespace duolink::analysis {

class ReplacingOutput {
public:
    ReplacingOutput() = default;
    ReplacingOutput(const ReplacingOutput&) = delete;
    ReplacingOutput& operator=(const ReplacingOutput&) = delete;
    ~ReplacingOutput();

    // Raises RunError (naming the file) when the temporary file cannot be made.
    void open(const std::string& path);
    void write(std::string_view text); // buffered; raises RunError
    void commit();                     // raises RunError
    const std::string& path() const { return path_; }

private:
    void flush();
    std::string path_, temp_;
    std::string buffer_;
    int fd_ = -1;
};

// Writes a whole file through a ReplacingOutput.
void replaceFile(const std::string& path, std::string_view text);

} // namespace duolink::analysis
