// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <csignal>
#include <functional>

#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include "core/predict/matrixfile.h"
#include "testsupport.h"

using namespace duolink;
using duolink::testing::readFile;
using duolink::testing::repeat;
using duolink::testing::writeFile;
namespace fs = std::filesystem;

namespace {

// The values 1..72 as nine rows.
std::string countingRows(const std::string& separator, const std::string& lineEnd)
{
    std::string text;
    for (int k = 1; k <= 72; ++k)
        text += separator + std::to_string(k) + (k % 8 == 0 ? lineEnd : "");
    return text;
}

void expectRunError(const std::function<void()>& command, const char* message)
{
    try {
        command();
        ADD_FAILURE() << "no error, expected " << message;
    } catch (const RunError& e) {
        EXPECT_STREQ(e.what(), message);
    }
}

size_t folderSize(const fs::path& dir)
{
    return static_cast<size_t>(std::distance(fs::directory_iterator(dir), fs::directory_iterator()));
}

const std::string kZeroRow = repeat(" 0.0E+0000 ", 8) + "\r\n";

using MatrixFiles = duolink::testing::EngineTest;

} // namespace

TEST_F(MatrixFiles, SaveWritesTwoDigitFieldsInCrLfLines)
{
    bLen = 8;
    const double row1[8] = {1234.5, -0.00456, 0.5, 9.96, 0, -0.0, 1234, -98765};
    for (int j = 1; j <= 8; ++j)
        wMatrix[cellIndex(1, j)] = row1[j - 1];
    wMatrix[cellIndex(9, 8)] = 1e-300;
    saveMatrixFile("m.vmat2");
    const std::string expected =
        " 1.2E+0003 -4.6E-0003  5.0E-0001  1.0E+0001  0.0E+0000 -0.0E+0000  1.2E+0003 -9.9E+0004 \r\n" +
        repeat(kZeroRow, 7) + repeat(" 0.0E+0000 ", 7) + " 1.0E-0300 \r\n";
    EXPECT_EQ(readFile("m.vmat2"), expected);
    EXPECT_EQ(expected.size(), 810u);
    EXPECT_TRUE(pane.lines.empty());

    wMatrix[cellIndex(9, 1)] = HUGE_VAL;
    wMatrix[cellIndex(9, 2)] = -HUGE_VAL;
    saveMatrixFile("m.vmat2");
    EXPECT_EQ(readFile("m.vmat2").substr(720), "     +Inf      -Inf " + repeat(" 0.0E+0000 ", 5) + " 1.0E-0300 \r\n");
}

TEST_F(MatrixFiles, RoundTripKeepsTwoSignificantDigits)
{
    bLen = 8;
    wMatrix[cellIndex(1, 1)] = 1234;
    wMatrix[cellIndex(1, 2)] = 0.5;
    wMatrix[cellIndex(5, 3)] = -98765;
    wMatrix[cellIndex(9, 8)] = 1e-5;
    saveMatrixFile("m.vmat2");
    wMatrix.fill(3);
    loadMatrixFile("m.vmat2");
    EXPECT_EQ(wMatrix[cellIndex(1, 1)], 1200);
    EXPECT_EQ(wMatrix[cellIndex(1, 2)], 0.5);
    EXPECT_EQ(wMatrix[cellIndex(5, 3)], -99000);
    EXPECT_EQ(wMatrix[cellIndex(9, 8)], 1e-5);
    EXPECT_EQ(wMatrix[cellIndex(2, 1)], 0);
    EXPECT_EQ(wMatrix[73], 3); // outside the block
    ASSERT_EQ(pane.lines.size(), 9u);
    EXPECT_EQ(pane.lines[0], " 1200.000    0.500" + repeat("    0.000", 6));
    EXPECT_EQ(pane.lines[4], "    0.000    0.000-99000.000" + repeat("    0.000", 5));
}

// Huge and odd files included: a huge file is read only as far as the block
// needs, and NUL bytes are blanks like any control character.
// A matrix file holds exactly 72 numbers, in any layout of blanks, line ends
// and control bytes; any other count is refused and changes nothing.
TEST_F(MatrixFiles, LoadTakesSeventyTwoNumbersInAnyLayoutAndRefusesOtherCounts)
{
    const std::string ones(64, '1');
    std::vector<double> all(72);
    for (int k = 0; k < 72; ++k)
        all[k] = k + 1;
    const auto zerosAfter = [](std::vector<double> first) {
        first.resize(72, 0.0);
        return first;
    };
    const auto numbers = [](int count) { return repeat("0 ", count); };
    std::string nulSeparated, rowsOfThree, rowsOfNine;
    for (int k = 1; k <= 72; ++k)
        nulSeparated += std::to_string(k) + std::string(k % 8 == 0 ? "\0\n" : "\0\0", 2);
    for (int r = 0; r < 9; ++r) {
        rowsOfThree += "1 2 3\r\n";
        rowsOfNine += "1 2 3 4 5 6 7 8 9\r\n";
    }
    const std::string rows = countingRows(" ", "\r\n");
    const struct {
        const char* what;
        std::string content;
        std::vector<double> values; // empty: refused with `count`
        size_t count = 72;
        off_t holeAfter = 0;        // the file goes on with this many NUL bytes, unwritten
    } cases[] = {
        {"tabs, blanks, LF", countingRows("\t  ", "\n"), all},
        {"all on one line", countingRows(" ", ""), all},
        {"lone CR", countingRows(" ", "\r"), all},
        {"NUL bytes between values", nulSeparated, all},
        {"Ctrl-Z ends the file", rows + "\x1a 99 99", all},
        {"nine rows, then 512 KiB", rows, all, 72, off_t(512) << 10},
        {"spellings", "1e3 1E+0003 1000 +1000. 1000.0e0 .1e4 . -.\r\n+e7 0.5E-0001 " + numbers(62),
         zerosAfter({1000, 1000, 1000, 1000, 1000, 1000, 0, 0, 0, 0.05})},
        {"64 characters", ones + "22 3\r\n4 " + numbers(68), zerosAfter({std::stod(ones), 22, 3, 4})},
        {"range",
         "1e5120 -0e5120 1e-5120 12e-5121 1e-400 4.9406564584124654e-324 1.7976931348623157e308 " + numbers(65),
         zerosAfter({HUGE_VAL, -HUGE_VAL, 0, 0, 0, 4.9406564584124654e-324, DBL_MAX})},
        {"empty file", "", {}, 0},
        {"binary junk", std::string("\0\x01\x02\x1f\n", 5), {}, 0},
        {"nine rows, then 2 GiB", rows, {}, 0, off_t(2) << 30},
        {"one number", "5", {}, 1},
        {"eight rows", rows.substr(0, rows.find(" 65 ")), {}, 64},
        {"rows of three", rowsOfThree, {}, 27},
        {"rows of nine", rowsOfNine, {}, 81},
        {"extra lines", rows + "99 99\n99\n", {}, 75},
        {"a number of 65 characters is two", ones + "2 " + numbers(71), {}, 73},
        {"Ctrl-Z cuts the file short", "1 2\x1a " + rows, {}, 2},
        {"one token of 100 000 digits", std::string(100000, '1'), {}, 1563},
    };
    bLen = 8;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        wMatrix.fill(-7);
        pane.lines.clear();
        writeFile("in.vmat2", c.content);
        if (c.holeAfter > 0)
            fs::resize_file("in.vmat2", c.content.size() + c.holeAfter);
        if (c.values.empty()) {
            const std::string message = c.holeAfter > 0 ? "the file is too large to be a matrix file"
                                        : "the file holds " + std::to_string(c.count) +
                                              (c.count == 1 ? " number" : " numbers") + "; a matrix file holds 72";
            expectRunError([this] { loadMatrixFile("in.vmat2"); }, message.c_str());
            EXPECT_EQ(wMatrix[1], -7);
            EXPECT_TRUE(pane.lines.empty());
            continue;
        }
        loadMatrixFile("in.vmat2");
        for (int k = 0; k < 72; ++k)
            EXPECT_EQ(wMatrix[k + 1], c.values[k]) << k + 1;
        EXPECT_EQ(wMatrix[73], -7);
        EXPECT_EQ(pane.lines.size(), 9u);
    }
}

TEST_F(MatrixFiles, FailedLoadChangesNothingAndPrintsNothing)
{
    const std::string rows = countingRows(" ", "\r\n");
    const std::string badFortieth = rows.substr(0, rows.find(" 40\r\n")) + " 4O";
    const std::pair<std::string, const char*> cases[] = {
        {"1,5", kInvalidNumeric},      {"1 +", kInvalidNumeric},  {"1e", kInvalidNumeric},
        {"2E+", kInvalidNumeric},      {"  +Inf", kInvalidNumeric}, {"1.2.3", kInvalidNumeric},
        {badFortieth, kInvalidNumeric}, {"1e309", kOverflow},    {"1e5119", kOverflow},
        {"0.1e5120", kOverflow},
    };
    bLen = 8;
    for (int k = 0; k <= kMatrixCells; ++k)
        wMatrix[k] = k;
    for (const auto& [content, message] : cases) {
        writeFile("bad.vmat2", content);
        expectRunError([this] { loadMatrixFile("bad.vmat2"); }, message);
    }
    expectRunError([this] { loadMatrixFile("missing.vmat2"); }, "File not found");
    expectRunError([this] { loadMatrixFile("."); }, "is a folder");
    // Endless or blocking sources are refused, not read.
    ASSERT_EQ(::mkfifo("pipe.vmat2", 0600), 0);
    expectRunError([this] { loadMatrixFile("pipe.vmat2"); }, "is not a regular file");
    expectRunError([this] { loadMatrixFile("/dev/zero"); }, "is not a regular file");
    for (int k = 0; k <= kMatrixCells; ++k)
        ASSERT_EQ(wMatrix[k], k);
    EXPECT_TRUE(pane.lines.empty());
    EXPECT_TRUE(pendingLine.empty());
}

TEST_F(MatrixFiles, TheRowStrideIsTheCurrentBLength)
{
    writeFile("in.vmat2", countingRows(" ", "\r\n"));

    // Before any job has set the lengths, the window's shape: each row in its
    // own cells, and Save writes back what Load read.
    loadMatrixFile("in.vmat2");
    EXPECT_EQ(aLen, 9);
    EXPECT_EQ(bLen, 8);
    EXPECT_EQ(wMatrix[9], 9);
    EXPECT_EQ(pane.lines.front(), "    1.000    2.000    3.000    4.000    5.000    6.000    7.000    8.000");
    EXPECT_EQ(pane.lines.back(), "   65.000   66.000   67.000   68.000   69.000   70.000   71.000   72.000");
    saveMatrixFile("out.vmat2");
    EXPECT_TRUE(readFile("out.vmat2").starts_with(" 1.0E+0000  2.0E+0000 ")) << readFile("out.vmat2");
    EXPECT_TRUE(readFile("out.vmat2").ends_with(" 7.1E+0001  7.2E+0001 \r\n")) << readFile("out.vmat2");
    pane.lines.clear();
    printMatrixRows(wMatrix, 2, 1);
    printMatrixRows(wMatrix, 0, 5);
    printMatrixRows(wMatrix, 2, 0);
    EXPECT_EQ(pane.lines, (std::vector<std::string>{"    1.000", "    9.000", "", ""}));

    // bLen 7: (1, 8) and (2, 1) share an element; the value read later stays.
    bLen = 7;
    loadMatrixFile("in.vmat2");
    EXPECT_EQ(wMatrix[8], 9);
    EXPECT_EQ(wMatrix[57], 65);
    EXPECT_EQ(wMatrix[64], 72);

    // bLen 9: column 9 is neither loaded nor saved.
    wMatrix.fill(-1);
    bLen = 9;
    loadMatrixFile("in.vmat2");
    EXPECT_EQ(wMatrix[9], -1);
    EXPECT_EQ(wMatrix[10], 9);
    EXPECT_EQ(wMatrix[80], 72);
    saveMatrixFile("out.vmat2");
    EXPECT_EQ(readFile("out.vmat2").substr(0, 22), " 1.0E+0000  2.0E+0000 ");
    EXPECT_EQ(readFile("out.vmat2").size(), 810u);
}

TEST_F(MatrixFiles, FailedSaveLeavesTheOldFileAndNoLeftovers)
{
    // A path that runs through a regular file.
    writeFile("plain", "x");
    expectRunError([this] { saveMatrixFile("plain/m.vmat2"); }, "File not found");

    const std::string old = repeat(kZeroRow, 9);
    writeFile("m.vmat2", old);
    wMatrix.fill(1);
    pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Nothing can be written past 100 bytes.
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit{100, 100};
        ::setrlimit(RLIMIT_FSIZE, &limit);
        try {
            saveMatrixFile("m.vmat2");
        } catch (const RunError& e) {
            ::_exit(std::string(e.what()) == "Disk full" ? 0 : 2);
        }
        ::_exit(1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(readFile("m.vmat2"), old);
    EXPECT_EQ(folderSize(dir_), 2u);
}

TEST_F(MatrixFiles, SaveGivesOrdinaryPermissionsAndKeepsThoseOfAReplacedFile)
{
    mode_t oldMask = ::umask(027);
    saveMatrixFile("new.vmat2");
    ::umask(oldMask);
    EXPECT_EQ(fs::status("new.vmat2").permissions(), fs::perms(0640));

    writeFile("kept.vmat2", "old");
    fs::permissions("kept.vmat2", fs::perms(0604));
    fs::create_symlink("kept.vmat2", "link.vmat2");
    saveMatrixFile("link.vmat2");
    EXPECT_TRUE(fs::is_symlink("link.vmat2"));
    EXPECT_EQ(readFile("kept.vmat2"), repeat(kZeroRow, 9));
    EXPECT_EQ(fs::status("kept.vmat2").permissions(), fs::perms(0604));
    EXPECT_EQ(folderSize(dir_), 3u);
}
