// SPDX-License-Identifier: GPL-3.0-or-later
// The job data files written from a pattern list, both or neither.
#include <string>

#include "core/patterns/patternlist.h"
#include "core/patterns/shapedlist.h"
#include "core/support/atomicwrite.h"
#include "core/support/errors.h"
#include "core/support/numtext.h"

namespace duolink {

namespace {

std::string dataFileText(const PatternList::Store& patterns, int patternCount)
{
    std::string text;
    std::string line;
    for (int p = 1; p <= patternCount; ++p) {
        line.clear();
        for (int e = 1; e <= 9; ++e) {
            size_t start = line.size();
            appendRealTextWD(line, patterns[p][e], 9, 3);
            // A value filling its whole field would run into the one before
            // it and read back as one number: keep them apart.
            if (e > 1 && line[start] != ' ')
                line.insert(start, 1, ' ');
        }
        (text += line) += "\r\n";
    }
    return text + "9999\r\n";
}

} // namespace

void writeJobFiles(PatternList& list, const std::filesystem::path& folder)
{
    // Both files are replaced together or not at all: a failure leaves the
    // old job whole.
    const auto path = [&](const char* name) { return folder.empty() ? std::string(name) : (folder / name).string(); };
    std::string failed;
    if (int error = replaceFilePair(path(kADataFileName), dataFileText(list.aPatterns, list.patternCount),
                                    path(kBDataFileName), dataFileText(list.bPatterns, list.patternCount), failed))
        // Named as the engine names its files, without the folder.
        throwIoError(error, failed == path(kADataFileName)   ? kADataFileName
                            : failed == path(kBDataFileName) ? kBDataFileName
                                                             : failed);
    list.noteListInFiles();
}

PatternJobOutcome writePatternJob(const std::string& listFile, const std::string& shownName,
                                  const std::filesystem::path& jobFolder, const std::string& shownFolder,
                                  std::string& message,
                                  const std::function<std::string(const ListShape&)>& acceptShape)
{
    ShapedPairs list;
    try {
        list = readShapedListFile(listFile, shownName);
        // A job of no pairs would run and report nothing of use.
        if (list.size() == 0) {
            message = shownName + " holds no pairs";
            return PatternJobOutcome::BadList;
        }
    } catch (const PatternListError& e) {
        message = e.what();
        return PatternJobOutcome::BadList;
    }
    if (acceptShape) {
        message = acceptShape(list.shape);
        if (!message.empty())
            return PatternJobOutcome::BadList;
    }
    try {
        writeShapedJobFiles(list, jobFolder);
    } catch (const RunError& e) {
        message = "cannot write the job files in " + shownFolder + ": " +
                  (e.file().empty() ? std::string() : e.file() + ": ") + e.what();
        return PatternJobOutcome::WriteFailed;
    }
    return PatternJobOutcome::Written;
}

} // namespace duolink
