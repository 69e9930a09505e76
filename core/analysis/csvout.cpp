// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/analysis/csvout.h"

#include "core/support/atomicwrite.h"
#include "core/support/errors.h"

namespace duolink::analysis {

ReplacingOutput::ReplacingOutput() = default;
ReplacingOutput::~ReplacingOutput() = default;

void ReplacingOutput::check(int error) const
{
    if (error == 0)
        return;
    RunError e(fileErrorText(error));
    e.attachFile(path_);
    throw e;
}

void ReplacingOutput::open(const std::string& path)
{
    path_ = path;
    file_ = std::make_unique<AtomicFile>(path);
    check(file_->open());
}

void ReplacingOutput::write(std::string_view text)
{
    buffer_.append(text);
    if (buffer_.size() >= (1u << 16))
        flush();
}

void ReplacingOutput::flush()
{
    check(file_->write(buffer_));
    buffer_.clear();
}

void ReplacingOutput::commit()
{
    flush();
    check(file_->commit());
}

void replaceWholeFile(const std::string& path, std::string_view text)
{
    if (int error = replaceFile(path, text)) {
        RunError e(fileErrorText(error));
        e.attachFile(path);
        throw e;
    }
}

} // namespace duolink::analysis
