// SPDX-License-Identifier: GPL-3.0-or-later
// Job files that people got wrong: names that are no files, bytes that are no
// numbers, tokens of megabytes, numbers out of range. Each job must end with
// its clear message or its normal reading, never hang or crash, and close
// every file. Run as root, so a failure never comes from permission bits:
// each case says what makes the file unusable.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include <sys/stat.h>
#include <unistd.h>

#include "core/support/errors.h"
#include "core/engine/solve.h"
#include "core/engine/state.h"
#include "testsupport.h"

using namespace duolink;
using duolink::testing::openFilesUnder;
using duolink::testing::readFile;
using duolink::testing::writeFile;
namespace fs = std::filesystem;

namespace {

// Three presentations of a 9-by-8 job, UNITY 10000; `simulation` sets the
// simulation flag.
std::string parameters(const std::string& beta = "0.5", const char* simulation = "0")
{
    return "4\r\n3\r\n9\r\n8\r\n" + std::string(simulation) + "\r\n" + beta + "\r\n0\r\n2\r\n10000\r\n0.1\r\n";
}

const char* const kAData = "    1.000    0.000    1.000    0.000    0.000    0.000    0.000    0.000    0.000\r\n9999\r\n";
const char* const kBData = "    0.000    1.000    0.000    0.000    0.000    0.000    0.000    1.000    0.000\r\n9999\r\n";

struct Outcome {
    enum How { Done, Terminated, Failed } how;
    std::string message; // the RunError's
};

class HostileInputs : public duolink::testing::EngineTest {
protected:
    void writeJob(const std::string& params, const std::string& a = kAData, const std::string& b = kBData)
    {
        writeFile(kParametersFileName, params);
        writeFile(kADataFileName, a);
        writeFile(kBDataFileName, b);
    }
    // Puts something other than a regular file under `name`.
    void replaceByNoFile(const std::string& name, const std::string& kind)
    {
        fs::remove(name);
        if (kind == "folder")
            fs::create_directory(name);
        else if (kind == "pipe")
            ASSERT_EQ(::mkfifo(name.c_str(), 0600), 0);
        else if (kind == "endless device")
            fs::create_symlink("/dev/zero", name);
        else if (kind == "link loop")
            fs::create_symlink(name, name);
        else if (kind == "path through a file") {
            writeFile("plain", "x");
            fs::create_symlink("plain/" + name, name);
        }
    }
    Outcome run()
    {
        Outcome outcome{Outcome::Done, {}};
        try {
            solveExistingJob();
        } catch (const JobTerminated&) {
            outcome.how = Outcome::Terminated;
        } catch (const RunError& e) {
            outcome = {Outcome::Failed, e.what()};
        }
        EXPECT_FALSE(reportFile.isOpen() || aDataFile.isOpen() || bDataFile.isOpen());
        EXPECT_EQ(openFilesUnder(dir_), 0);
        return outcome;
    }
    std::string report() const { return readFile(dir_ / kReportFileName); }
};

const char* const kNoFiles[] = {"folder", "pipe", "endless device", "link loop", "path through a file"};

} // namespace

TEST_F(HostileInputs, InputNamesThatAreNoReadableFileAreNotAvailable)
{
    const struct {
        const char* name;
        const char* simulationFlag;
        const char* reportEnd;
    } inputs[] = {
        {kParametersFileName, "0", "VELD30.dat not available\r\nTerminating Program\r\nPROGRAM DONE\r\n"},
        {kADataFileName, "0", "Files adata200.dat and bdata200.dat are not available\r\nTerminating Program\r\nPROGRAM DONE\r\n"},
        {kBDataFileName, "0", "Files adata200.dat and bdata200.dat are not available\r\nTerminating Program\r\nPROGRAM DONE\r\n"},
        {"nutest.dat", "1", "Simulation file not available \r\nTerminating Program\r\nPROGRAM DONE\r\n"},
    };
    for (const auto& input : inputs) {
        for (const char* kind : kNoFiles) {
            SCOPED_TRACE(std::string(input.name) + " is a " + kind);
            writeJob(parameters("0.5", input.simulationFlag));
            replaceByNoFile(input.name, kind);
            const Outcome outcome = run();
            EXPECT_EQ(outcome.how, Outcome::Terminated) << outcome.message;
            EXPECT_TRUE(report().ends_with(input.reportEnd)) << report();
            fs::remove_all(input.name);
            fs::remove("plain");
        }
    }
}

TEST_F(HostileInputs, ParametersThatAreNoNumbersEndTheCommandWithItsMessage)
{
    std::string junk;
    for (int k = 0; k < 4096; ++k)
        junk += static_cast<char>((k * 7 + 3) % 256);
    const std::string hugeToken(10 << 20, '7');
    const struct {
        const char* what;
        std::string text;
        const char* lastReportLine; // before the failed read
    } cases[] = {
        {"binary junk", junk, "PARAMETERS"},
        {"10 MB token", hugeToken, "PARAMETERS"},
        {"1e400", parameters("1e400"), "B Len = 8"},
        {"NaN", parameters("NaN"), "B Len = 8"},
        {"Inf", parameters("Inf"), "B Len = 8"},
        {"-Inf", parameters("-Inf"), "B Len = 8"},
        {"2^63 presentations", "4\r\n9223372036854775808\r\n", "4 1 = RWM 2=PFM 3=STL 4=IRN "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeJob(c.text);
        const Outcome outcome = run();
        EXPECT_EQ(outcome.how, Outcome::Failed);
        EXPECT_EQ(outcome.message, kInvalidNumeric);
        EXPECT_TRUE(report().ends_with(std::string(c.lastReportLine) + "\r\n")) << report().substr(0, 2000);
    }
}

TEST_F(HostileInputs, ParametersReadTheirWayWhateverTheBytes)
{
    // Control characters are blanks to the reader: a file of them holds no
    // value, so every parameter reads as 0 and the lengths are refused.
    writeJob(std::string("\0\x1a\0\t\x01\x1f", 6));
    EXPECT_EQ(run().how, Outcome::Terminated);
    EXPECT_TRUE(report().ends_with("A Len = 0\r\nB Len = 0\r\nA Len or B Len not in specified range\r\n"
                                   "Terminating Program\r\nPROGRAM DONE\r\n"));

    // A real token is cut after 64 characters: BETA takes the first 64
    // digits of a 10 MB line, the rest of the line is skipped, and the run
    // stops at the first product too large to round.
    writeJob("4\r\n3\r\n9\r\n8\r\n0\r\n" + std::string(10 << 20, '7'));
    const Outcome huge = run();
    EXPECT_EQ(huge.how, Outcome::Failed);
    EXPECT_EQ(huge.message, "Invalid floating point operation");
    EXPECT_NE(report().find("\r\nBETA    =  7.77777777777778E+0063\r\nLIMIT   =  0.00000000000000E+0000\r\n"),
              std::string::npos);

    // -0 is a number: zero for every parameter it stands for.
    writeJob("4\r\n3\r\n9\r\n8\r\n-0\r\n-0\r\n-0.0\r\n2\r\n10000\r\n-0\r\n");
    EXPECT_EQ(run().how, Outcome::Done);
    EXPECT_EQ(simulationMode, 0);
    EXPECT_EQ(beta, 0.0);
    EXPECT_EQ(tol, 0.0);
}

TEST_F(HostileInputs, DataValuesThatAreNoNumbersReadAsZero)
{
    // Each odd value stands where a 0 of the A pattern is; the run must
    // match the clean job's exactly.
    writeJob(parameters());
    ASSERT_EQ(run().how, Outcome::Done);
    const std::string clean = report();

    const char* const odd[] = {"NaN", "Inf", "-Inf", "1e400", "-1e400", "-0", "0x10", "1,5", "\x01\x02\x7f\xff"};
    for (const char* value : odd) {
        SCOPED_TRACE(value);
        std::string a = std::string("    1.000 ") + value + "    1.000    0.000    0.000    0.000    0.000    0.000 -0.0\r\n9999\r\n";
        writeJob(parameters(), a);
        EXPECT_EQ(run().how, Outcome::Done);
        EXPECT_EQ(report(), clean);
    }
}

TEST_F(HostileInputs, DataFilesOfJunkEndWithAMessage)
{
    std::string junk;
    for (int k = 0; k < 65536; ++k)
        junk += static_cast<char>(k % 256 == 26 ? 0 : k % 251);
    const struct {
        const char* what;
        std::string a;
        Outcome::How how;
        const char* message;
    } cases[] = {
        // No group starts with 9999: the A data file ends too early.
        {"binary junk", junk, Outcome::Terminated, ""},
        {"10 MB token of letters", std::string(10 << 20, 'x'), Outcome::Terminated, ""},
        {"NUL bytes only", std::string(1 << 20, '\0'), Outcome::Terminated, ""},
        // Each 64-digit piece is a value near 1e63, too large to scale.
        {"10 MB token of digits", std::string(10 << 20, '9'), Outcome::Failed, "Invalid floating point operation"},
        {"1e300", "1e300 0 0 0 0 0 0 0 0\r\n9999\r\n", Outcome::Failed, "Invalid floating point operation"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeJob(parameters(), c.a);
        const Outcome outcome = run();
        EXPECT_EQ(outcome.how, c.how);
        EXPECT_EQ(outcome.message, c.message);
        if (c.how == Outcome::Terminated)
            EXPECT_TRUE(report().ends_with("Unexpected End of File ADATA.DAT\r\nTerminating Program\r\nPROGRAM DONE\r\n"));
    }
}

TEST_F(HostileInputs, AReportNameThatIsAPipeFailsAtOnce)
{
    // Nobody reads the pipe: opening it for writing would wait for ever.
    writeJob(parameters());
    ASSERT_EQ(::mkfifo(kReportFileName, 0600), 0);
    const Outcome outcome = run();
    EXPECT_EQ(outcome.how, Outcome::Failed);
    EXPECT_EQ(outcome.message, "No such device or address");
}
