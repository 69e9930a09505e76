// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/engine/jobfiles.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cmath>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <strings.h>
#include <unistd.h>
#include <vector>

#include "core/support/numtext.h"
#include "core/patterns/patterns.h"
#include "core/engine/solve.h"

namespace duolink {

// --- Job data files --------------------------------------------------------------------

namespace {

// "Invalid numeric input", with the line it was found in for the window's message.
[[noreturn]] void invalidNumeric(std::size_t line)
{
    RunError error(kInvalidNumeric);
    error.setLine(line);
    throw error;
}

// A parameter: one value, then the rest of its line is skipped.
int readIntParameter(TextReader& f)
{
    bool ok = true;
    long long v = f.readInt(ok);
    if (!ok || v < INT_MIN || v > INT_MAX)
        invalidNumeric(f.lineNumber());
    f.skipLine();
    return static_cast<int>(v);
}

double readRealParameter(TextReader& f)
{
    bool ok = true;
    double v = f.readReal(ok);
    if (!ok)
        invalidNumeric(f.lineNumber());
    f.skipLine();
    return v;
}

// A value of a data file or of the W matrix section: anything that is not a
// number reads as 0, without complaint.
double readDataValue(TextReader& f)
{
    bool ok = true;
    return f.readReal(ok);
}

} // namespace

[[noreturn]] void EngineState::fatal(std::string_view message)
{
    reportFile.writeLn(message);
    reportFile.writeLn("Terminating Program");
    programDone(std::string(message));
}

void EngineState::readPattern(Vector& v, TextReader& f, int length)
{
    const int groups = (length - 1) / 16 + 1;
    const int perLine = std::min(length, 16);
    const long double u = unity;
    for (int g = 0; g < groups; ++g) {
        for (int c = 1; c <= perLine; ++c) {
            double value = readDataValue(f);
            int pos = 16 * g + c;
            if (pos > kVectorSize)
                continue;
            if (value == 9999.0)
                v[pos] = 9999.0;
            else if (std::fabs(value) < 0x1p21 && static_cast<double>(static_cast<int>(value)) == value)
                // A whole value times unity is a whole product below 2^52,
                // exact in a double; never negative zero.
                v[pos] = value * unity + 0.0;
            else
                v[pos] = static_cast<double>(roundEven(value * u));
        }
        f.skipLine();
    }
}

namespace {

// Lengths that were read but refused (or left half read by an error) must
// not outlive the reader: the next Solve's clear, Predict and the matrix
// files address the matrix with them.
struct LengthsKeptValid {
    int& aLen;
    int& bLen;
    ~LengthsKeptValid()
    {
        if (aLen < 0 || aLen > kVectorSize || bLen < 0 || bLen > kVectorSize || aLen * bLen > kMatrixCells)
            aLen = bLen = 0;
    }
};

} // namespace

void EngineState::readParametersInto(const std::string& name, const char* paneLabel)
{
    LengthsKeptValid lengthsKeptValid{aLen, bLen};
    if (!fileExists(name))
        fatal("VELD30.dat not available");
    TextReader f;
    openReader(f, name);
    // A report that drops its lines needs none of them made.
    const bool shown = !reportFile.discards();
    reportFile.writeLn("PARAMETERS");

    runOption = readIntParameter(f);
    if (shown)
        reportFile.writeLn(std::to_string(runOption) + " 1 = RWM 2=PFM 3=STL 4=IRN ");
    maxPresentations = readIntParameter(f);
    if (shown)
        reportFile.writeLn("MAX Presentations: " + std::to_string(maxPresentations));
    aLen = readIntParameter(f);
    bLen = readIntParameter(f);
    if (shown) {
        reportFile.writeLn("A Len = " + std::to_string(aLen));
        reportFile.writeLn("B Len = " + std::to_string(bLen));
    }
    if (aLen < 1 || aLen > kVectorSize || bLen < 1 || bLen > kVectorSize)
        fatal("A Len or B Len not in specified range");
    if (aLen * bLen > kMatrixCells)
        fatal("MATRIX TOO BIG");
    simulationMode = readIntParameter(f);
    if (simulationMode == kSimulationPass && simulationFileName().empty())
        fatal("Simulation file not available ");

    beta = readRealParameter(f);
    limit = readRealParameter(f);
    transferFunction = readIntParameter(f);
    unity = readIntParameter(f);
    tol = readRealParameter(f);

    if (shown) {
        reportFile.writeLn("TOL     = " + longExpText(tol));
        reportFile.writeLn("BETA    = " + longExpText(beta));
        reportFile.writeLn("LIMIT   = " + longExpText(limit));
        reportFile.write("OPTION  = " + std::to_string(transferFunction));
    }
    if (transferFunction < kTrainingTransfer || transferFunction > kNoTransfer) {
        transferFunction = kTrainingTransfer;
        reportFile.writeLn("ERROR-INVALID Option Selected Assuming Option 1");
    }
    reportFile.writeLn(transferFunction == kNoTransfer ? " Transfer Function 2 Selected" : " Transfer Function 1 Selected");
    if (unity < 0) {
        unity = 10;
        reportFile.writeLn("ERROR-INVALID Unity Value Assuming Unity=10");
    }
    if (shown)
        reportFile.writeLn("UNITY   = " + std::to_string(unity));
    consoleWriteLn(paneLabel + realTextWD(unity, 9, 0));

    if (runOption == kMatrixFromParameters)
        readWMatrix(wMatrix, aLen, bLen, f);
    f.close();
}

bool EngineState::fileExists(std::string_view name)
{
    std::string cut(name.substr(0, 20));
    if (jobFileTexts_.find(cut) != jobFileTexts_.end())
        return true;
    int fd = openInputFile(pathOf(cut));
    if (fd < 0)
        return false;
    ::close(fd);
    return true;
}

std::string findSimulationFile(const std::string& folder)
{
    const std::string dir = folder.empty() ? std::string(".") : folder;
    const auto regular = [&](const std::string& name) {
        const int fd = openInputFile(dir + "/" + name);
        return fd >= 0 && ::close(fd) == 0;
    };
    if (regular(kSimulationFileName))
        return kSimulationFileName;
    std::unique_ptr<DIR, int (*)(DIR*)> entries(::opendir(dir.c_str()), ::closedir);
    std::string best;
    while (const dirent* entry = entries ? ::readdir(entries.get()) : nullptr) {
        if (::strcasecmp(entry->d_name, kSimulationFileName) == 0 && (best.empty() || best > entry->d_name) &&
            regular(entry->d_name))
            best = entry->d_name;
    }
    return best;
}

std::vector<FileUse> jobInputUses(const std::string& folder)
{
    const auto path = [&](const std::string& name) { return folder.empty() ? name : folder + "/" + name; };
    std::vector<FileUse> uses = {{path(kParametersFileName), "the job's parameters file"},
                                 {path(kADataFileName), "the job's A data file"},
                                 {path(kBDataFileName), "the job's B data file"}};
    if (const std::string simulation = findSimulationFile(folder); !simulation.empty())
        uses.push_back({path(simulation), "the job's simulation file"});
    return uses;
}

std::string EngineState::simulationFileName()
{
    static constexpr const char* kName = kSimulationFileName;
    if (fileExists(kName))
        return kName;
    const std::string folder = jobFolder.empty() ? std::string(".") : jobFolder.string();
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return {};
    std::vector<std::string> matches;
    while (dirent* entry = ::readdir(dir.get())) {
        if (::strcasecmp(entry->d_name, kName) == 0 && fileExists(entry->d_name))
            matches.emplace_back(entry->d_name);
    }
    if (matches.empty())
        return {};
    return *std::min_element(matches.begin(), matches.end());
}

void EngineState::readParameters(const std::string& name)
{
    withFileContext(name, [&] { readParametersInto(name, "Unity= "); });
}

void EngineState::readParametersRD(const std::string& name)
{
    withFileContext(name, [&] { readParametersInto(name, "Unity RD= "); });
}

void EngineState::readWMatrix(Matrix& m, int rows, int cols, TextReader& f)
{
    reportFile.writeLn("W Matrix ");
    const int perLine = std::min(cols, 16);
    const int lines = (cols - 1) / 16 + 1;
    std::string echo;
    for (int i = 1; i <= rows; ++i) {
        for (int b = 0; b < lines; ++b) {
            echo.clear();
            for (int c = 1; c <= perLine; ++c) {
                double value = readDataValue(f);
                if (16 * b + c <= cols)
                    m[cellIndex(i, 16 * b + c)] = value;
                appendExpText(echo, value, 15);
            }
            f.skipLine();
            reportFile.writeLn(echo);
        }
    }
    reportFile.writeLn();
}

void EngineState::openADataFile()
{
    // Each presentation's reopening starts again from what the first one read.
    if (aDataFile.isOpen())
        aDataFile.rewind();
    else
        openReader(aDataFile, aDataFile.name());
}

void EngineState::openBDataFile()
{
    if (bDataFile.isOpen())
        bDataFile.rewind();
    else
        openReader(bDataFile, bDataFile.name());
}

void EngineState::readAVector(Vector& v, TextReader& f)
{
    readPattern(v, f, aLen);
}

void EngineState::readBVector(Vector& v)
{
    readPattern(v, bDataFile, bLen);
}

int EngineState::countPatterns()
{
    openADataFile();
    aVector[1] = 0;
    int groups = 0;
    while (aVector[1] != 9999.0) {
        if (!aDataFile.hasValue())
            fatal("Unexpected End of File ADATA.DAT");
        readAVector(aVector, aDataFile);
        ++groups;
    }
    return groups - 1;
}

} // namespace duolink
