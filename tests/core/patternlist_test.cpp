// SPDX-License-Identifier: GPL-3.0-or-later
// Pattern list files: the .csv form both ways, the job data files read back,
// the messages for bad files, and --patterns in the headless runner.
#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <filesystem>
#include <limits>
#include <string>

#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include "core/engine/jobfiles.h"
#include "core/engine/solve.h"
#include "core/patterns/patternlist.h"
#include "core/patterns/shapedlist.h"
#include "testsupport.h"

using namespace duolink;
using duolink::testing::readFile;
using duolink::testing::repeat;
using duolink::testing::writeFile;
namespace fs = std::filesystem;

namespace {

const std::string kHeader = std::string(kPatternListHeader) + "\n";

// A CSV line of sixteen values.
std::string csvLine(const std::string& a = "1,0,1,0,0,0,0,0", const std::string& b = "0,1,0,0,0,0,0,1")
{
    return a + "," + b + "\n";
}

std::string message(std::string_view text, std::string_view name = "patterns.csv")
{
    try {
        parsePatternList(text, name);
    } catch (const PatternListError& e) {
        return e.what();
    }
    return "(read)";
}

void expectSameBits(const TPatternVector& x, const TPatternVector& y)
{
    for (int e = 1; e <= 9; ++e)
        EXPECT_EQ(std::bit_cast<uint64_t>(x[e]), std::bit_cast<uint64_t>(y[e])) << "element " << e;
}

// Fills store positions 1..count with values of every kind the fields can give.
void fillStore(PatternList& list, int count)
{
    auto& aPatterns = list.aPatterns;
    auto& bPatterns = list.bPatterns;
    const double kinds[] = {0.1,    -0.0,   1e-300, 5e-324, 5e307,
                            0.001,  2.0 / 3, -7.25, 123456.789, 1.0};
    for (int p = 1; p <= count; ++p) {
        for (int e = 1; e <= 8; ++e) {
            aPatterns[p][e] = kinds[(p + e) % 10] * (p % 3 + 1);
            bPatterns[p][e] = kinds[(p * e) % 10];
        }
        aPatterns[p][9] = parityOf(aPatterns[p]);
        bPatterns[p][9] = parityOf(bPatterns[p]);
    }
    list.patternCount = count;
    list.currentIndex = count;
}

class PatternListFiles : public duolink::testing::EngineTest {
protected:
    void SetUp() override
    {
        EngineTest::SetUp();
        listReset();
        aPatterns.fill({});
        bPatterns.fill({});
        noteListInFiles();
    }
};

} // namespace

TEST_F(PatternListFiles, SavedListsReadBackBitForBit)
{
    for (int count : {0, 1, 5, kPatternCapacity}) {
        SCOPED_TRACE(count);
        fillStore(*this, count);
        const auto saved = aPatterns, savedB = bPatterns;
        const std::string text = patternListText(*this);
        EXPECT_TRUE(text.starts_with(kHeader));
        EXPECT_EQ(text.find('\r'), std::string::npos);

        const PatternPairs list = parsePatternList(text, "patterns.csv");
        listReset();
        aPatterns.fill({});
        bPatterns.fill({});
        loadPatternList(list);
        EXPECT_EQ(patternCount, count);
        EXPECT_EQ(currentIndex, count > 0 ? 1 : 0);
        for (int p = 1; p <= count; ++p) {
            expectSameBits(aPatterns[p], saved[p]);
            expectSameBits(bPatterns[p], savedB[p]);
        }
    }
    // The shortest form: what a spreadsheet shows.
    fillStore(*this, 1);
    aPatterns[1] = vectorFromTexts({"0.1", "1", "-0", "2.5e-7", "1e300", "0", "0", "12.5"});
    EXPECT_EQ(patternListText(*this).substr(kHeader.size(), 30), "0.1,1,-0,2.5e-07,1e+300,0,0,12");
}

TEST_F(PatternListFiles, AListThatCannotBeReadBackIsNotSaved)
{
    fillStore(*this, 3);
    aPatterns[2][4] = std::numeric_limits<double>::infinity(); // no file could give it back
    try {
        patternListText(*this);
        FAIL() << "saved";
    } catch (const PatternListError& e) {
        EXPECT_STREQ(e.what(), "pair 2, A4 is too large to be saved; change it and press Update");
    }
}

TEST_F(PatternListFiles, ReadsTheFormsPeopleWrite)
{
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        const char* what;
        std::string text;
        size_t pairs;
    } cases[] = {
        {"header", kHeader + csvLine() + csvLine(), 2},
        {"no header", csvLine() + csvLine() + csvLine(), 3},
        {"other header", "a;b;c\n" + csvLine(), 1},
        {"semicolons", "1;0;1;0;0;0;0;0;0;1;0;0;0;0;0;1\n", 1},
        {"tabs", "1\t0\t1\t0\t0\t0\t0\t0\t0\t1\t0\t0\t0\t0\t0\t1\n", 1},
        {"comments and empty lines", "# made by hand\n\n" + kHeader + "\n  # more\n" + csvLine() + "\n \t\n", 1},
        {"CR LF", "A1,x\r\n1,0,1,0,0,0,0,0,0,1,0,0,0,0,0,1\r\n", 1},
        {"byte-order mark", bom + kHeader + csvLine(), 1},
        {"byte-order mark, no header", bom + csvLine(), 1},
        {"blanks around values", " 1 , 0,\t1 ,0,0,0,0,0,0,1,0,0,0,0,0, 1 \n", 1},
        {"no last line end", csvLine().substr(0, csvLine().size() - 1), 1},
        {"header only", kHeader, 0},
        {"empty", "", 0},
        {"grammar", "+1,-0.5,.5,5.,1e3,1E-3,2.5e+1,0,0,0,0,0,0,0,0,0\n", 1},
        {"quoted cells", "\"A1\",\"A2\"\n\"1\",\"0\",\"1\",0,0,0,0,0,0,\"1\",0,0,0,0,0, \"1\" \n", 1},
        {"quoted, semicolons", "\"1\";\"0\";\"1\";0;0;0;0;0;0;\"1\";0;0;0;0;0;\"1\"\n", 1},
        {"quoted first cell, no header", "\"1\",0,1,0,0,0,0,0,0,1,0,0,0,0,0,1\n", 1},
        {"quoted header with separators", "\"A,1\";\"A;2\"\n1;0;1;0;0;0;0;0;0;1;0;0;0;0;0;1\n", 1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        PatternPairs list;
        ASSERT_NO_THROW(list = parsePatternList(c.text, "p.csv"));
        ASSERT_EQ(list.size(), c.pairs);
        if (c.pairs == 0)
            continue;
        const TPatternVector& a = list[0].a;
        const TPatternVector& b = list[0].b;
        if (std::string(c.what) == "grammar") {
            EXPECT_EQ(a[1], 1.0);
            EXPECT_EQ(a[2], -0.5);
            EXPECT_EQ(a[3], 0.5);
            EXPECT_EQ(a[4], 5.0);
            EXPECT_EQ(a[5], 1000.0);
            EXPECT_EQ(a[6], 0.001);
            EXPECT_EQ(a[7], 25.0);
            EXPECT_EQ(a[9], 0.0); // four values above 0.5
            continue;
        }
        EXPECT_EQ((std::array{a[1], a[2], a[3], a[8], b[1], b[2], b[8]}), (std::array{1., 0., 1., 0., 0., 1., 1.}));
        EXPECT_EQ(a[9], 0.0);
        EXPECT_EQ(b[9], 0.0);
    }
}

TEST_F(PatternListFiles, BadFilesAreNamedWithLineAndColumn)
{
    const std::string good = csvLine();
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {kHeader + repeat(good, 5) + "1,0,0,0,0,0,0,0,0,0,1,0,0,0,0,1x\n",
         "patterns.csv, line 7, column B8: \"1x\" is not a number"},
        {"1;0;0;0;0;0;0;0;0;0;1,5x;0;0;0;0;0\n", "patterns.csv, line 1, column B3: \"1,5x\" is not a number"},
        {good + "1,2,3\n", "patterns.csv, line 2 has 3 values, 16 expected"},
        {good + "1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,\n", "patterns.csv, line 2 has 17 values, 16 expected"},
        {good + "7\n", "patterns.csv, line 2 has 1 value, 16 expected"},
        {good + "1;0;1;0;0;0;0;0;0;1;0;0;0;0;0;1\n", "patterns.csv, line 2 has 1 value, 16 expected"},
        {good + "1,0,,0,0,0,0,0,0,1,0,0,0,0,0,1\n", "patterns.csv, line 2, column A3 is empty"},
        {"1,0,1e400,0,0,0,0,0,0,1,0,0,0,0,0,1\n", "patterns.csv, line 1, column A3: \"1e400\" is too large"},
        {"1,0,nan,0,0,0,0,0,0,1,0,0,0,0,0,1\n", "patterns.csv, line 1, column A3: \"nan\" is not a number"},
        {"1,0,\"1,5\",0,0,0,0,0,0,1,0,0,0,0,0,1\n", "patterns.csv, line 1, column A3: \"1,5\" is not a number"},
        {"1,0,\"1\"\"\",0,0,0,0,0,0,1,0,0,0,0,0,1\n", "patterns.csv, line 1, column A3: \"1\"\"\" is not a number"},
        {"1,0,\"1\"x,0,0,0,0,0,0,1,0,0,0,0,0,1\n", "patterns.csv, line 1, column A3: \"\"1\"x\" is not a number"},
        {"1,0,1,0,0,0,0,0,0,1,0,0,0,0,0,\"1\n", "patterns.csv, line 1, column B8: a quote is not closed"},
        {"1,0,\"\",0,0,0,0,0,0,1,0,0,0,0,0,1\n", "patterns.csv, line 1, column A3 is empty"},
        {"1,0,1\x01\xff,0,0,0,0,0,0,1,0,0,0,0,0,1\n",
         "patterns.csv, line 1, column A3: \"1??\" is not a number"},
        {"1,0," + std::string(100, '9') + "x,0,0,0,0,0,0,1,0,0,0,0,0,1\n",
         "patterns.csv, line 1, column A3: \"999999999999999999999999...\" is not a number"},
        {repeat(good, 300), "patterns.csv holds 300 pairs; the list takes at most 256"},
        {repeat(good, 257), "patterns.csv holds 257 pairs; the list takes at most 256"},
        {kHeader + std::string(10 << 20, 'x') + "\n", "patterns.csv, line 2 has 1 value, 16 expected"},
        {repeat(std::string("\0\x7f\x80junk\n", 8), 2), "patterns.csv, line 2 has 1 value, 16 expected"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(message(c.text), c.message);
    }
    EXPECT_EQ(parsePatternList(repeat(good, 256), "p.csv").size(), 256u);
}

// A first line is a header only when none of its cells looks like a number;
// any other first line is data, checked as data, never silently dropped.
TEST_F(PatternListFiles, TheFirstLineIsAHeaderOnlyWhenNoCellLooksLikeANumber)
{
    const std::string rest = ",0,1,0,0,0,0,0,0,1,0,0,0,0,0,1\n";
    const std::string bom = "\xEF\xBB\xBF";
    const struct {
        std::string text;
        const char* result; // the message, or the number of pairs read
    } cases[] = {
        {kHeader + csvLine(), "1"},
        {"a;b;c\n" + csvLine(), "1"},
        {"pattern list, by hand\n" + csvLine(), "1"},
        {"1e400" + rest, "patterns.csv, line 1, column A1: \"1e400\" is too large"},
        {"nan" + rest, "patterns.csv, line 1, column A1: \"nan\" is not a number"},
        {"-INF" + rest, "patterns.csv, line 1, column A1: \"-INF\" is not a number"},
        {"0x10" + rest, "patterns.csv, line 1, column A1: \"0x10\" is not a number"},
        {"." + rest, "patterns.csv, line 1, column A1: \".\" is not a number"},
        {"\xC2\xA0" "1" + rest, "patterns.csv, line 1, column A1: \"??1\" is not a number"},
        {"\xEF\xBC\x91" + rest, "patterns.csv, line 1, column A1: \"???\" is not a number"},
        {bom + bom + "1" + rest, "patterns.csv, line 1, column A1: \"???1\" is not a number"},
        {"Inf,b,c\n" + csvLine(), "patterns.csv, line 1 has 3 values, 16 expected"
         "; for pairs of other lengths, start the file with a header line a1,...,aN,b1,...,bM"},
        {"x,y,1st\n" + csvLine(), "patterns.csv, line 1 has 3 values, 16 expected"
         "; for pairs of other lengths, start the file with a header line a1,...,aN,b1,...,bM"},
        {"1 0 1 0 0 0 0 0 0 1 0 0 0 0 0 1\n" + csvLine(), "patterns.csv, line 1 has 1 value, 16 expected"
         "; for pairs of other lengths, start the file with a header line a1,...,aN,b1,...,bM"},
        {std::string(kPatternListHeader) + "\r" + csvLine().substr(0, csvLine().size() - 1) + "\r",
         "patterns.csv, line 1 has 31 values, 16 expected"
         "; for pairs of other lengths, start the file with a header line a1,...,aN,b1,...,bM"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text.substr(0, 20));
        std::string result;
        try {
            result = std::to_string(parsePatternList(c.text, "patterns.csv").size());
        } catch (const PatternListError& e) {
            result = e.what();
        }
        EXPECT_EQ(result, c.result);
    }
}

TEST_F(PatternListFiles, TheJobFilesOfASolveReadBackAsTheList)
{
    fillStore(*this, 7);
    for (int p = 1; p <= 7; ++p)
        for (int e = 1; e <= 8; ++e) // what fits the files' fields
            aPatterns[p][e] = std::fmod(aPatterns[p][e], 10000.0), bPatterns[p][e] = std::fmod(bPatterns[p][e], 1e4);
    aPatterns[3][2] = 0.5004; // kept as 0.500: parity from the value read
    aPatterns[3][9] = parityOf(aPatterns[3]);
    writeJobFiles();
    const auto savedA = aPatterns, savedB = bPatterns;

    for (const char* chosen : {kADataFileName, kBDataFileName}) {
        SCOPED_TRACE(chosen);
        const PatternPairs list = readPatternListFile((dir_ / chosen).string(), chosen);
        ASSERT_EQ(list.size(), 7u);
        for (int p = 1; p <= 7; ++p) {
            for (int e = 1; e <= 8; ++e) {
                EXPECT_DOUBLE_EQ(list[p - 1].a[e], std::round(savedA[p][e] * 1000) / 1000) << p << " " << e;
                EXPECT_DOUBLE_EQ(list[p - 1].b[e], std::round(savedB[p][e] * 1000) / 1000) << p << " " << e;
            }
            EXPECT_EQ(list[p - 1].a[9], parityOf(list[p - 1].a));
            EXPECT_EQ(list[p - 1].b[9], parityOf(list[p - 1].b));
        }
    }
    // Any name laid out like the A file, in another folder.
    fs::create_directory("elsewhere");
    fs::copy_file(kADataFileName, "elsewhere/mine.dat");
    fs::copy_file(kBDataFileName, "elsewhere/bdata200.dat");
    EXPECT_EQ(readPatternListFile("elsewhere/mine.dat", "mine.dat").size(), 7u);
    // An empty list comes back empty.
    listReset();
    writeJobFiles();
    EXPECT_TRUE(readPatternListFile(kADataFileName, kADataFileName).empty());
}

TEST_F(PatternListFiles, BadJobFilePairsAreNamed)
{
    const std::string line = "    1.000    0.000    0.000    0.000    0.000    0.000    0.000    1.000    0.000\r\n";
    const auto read = [](const std::string& a, const std::string& b) -> std::string {
        writeFile(kADataFileName, a);
        if (b == "missing")
            fs::remove(kBDataFileName);
        else
            writeFile(kBDataFileName, b);
        try {
            readPatternListFile(kADataFileName, kADataFileName);
        } catch (const PatternListError& e) {
            return e.what();
        }
        return "(read)";
    };
    EXPECT_EQ(read(line + "9999\r\n", "missing"), "bdata200.dat is missing beside adata200.dat");
    EXPECT_EQ(read(repeat(line, 12) + "9999\r\n", repeat(line, 11) + "9999\r\n"),
              "adata200.dat has 12 pairs but bdata200.dat has 11");
    EXPECT_EQ(read(line + line, line + "9999\r\n"), "adata200.dat ends without the 9999 line that closes the list");
    EXPECT_EQ(read(line + "    1.000    0.000\r\n9999\r\n", line + "9999\r\n"), "adata200.dat, line 2 has 2 values, 8 expected");
    EXPECT_EQ(read(line + "9999\r\n", "    1.000    0.0x0\r\n9999\r\n"),
              "bdata200.dat, line 1, column B2: \"0.0x0\" is not a number");
    EXPECT_EQ(read(repeat(line, 257) + "9999\r\n", repeat(line, 257) + "9999\r\n"),
              "adata200.dat holds 257 pairs; the list takes at most 256");
    EXPECT_EQ(read(repeat(line, 256) + "9999\r\n", repeat(line, 256) + "9999\r\n"), "(read)");
    // What follows the 9999 line is not read, as in a Solve.
    EXPECT_EQ(read(line + "9999\r\njunk\r\n", line + "9999.000 junk\r\n"), "(read)");
}

TEST_F(PatternListFiles, NamesThatAreNoReadableFileGiveAMessage)
{
    const struct {
        const char* kind;
        const char* message;
    } cases[] = {
        {"missing", "p.csv: the file does not exist"},
        {"folder", "p.csv: it is a folder, not a file"},
        {"pipe", "p.csv: not a regular file"},
        {"endless device", "p.csv: not a regular file"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.kind);
        fs::remove_all("p.csv");
        if (std::string(c.kind) == "folder")
            fs::create_directory("p.csv");
        else if (std::string(c.kind) == "pipe")
            ASSERT_EQ(::mkfifo("p.csv", 0600), 0);
        else if (std::string(c.kind) == "endless device")
            fs::create_symlink("/dev/zero", "p.csv");
        try {
            readPatternListFile("p.csv", "p.csv");
            ADD_FAILURE() << "read";
        } catch (const PatternListError& e) {
            EXPECT_STREQ(e.what(), c.message);
        }
    }
    EXPECT_EQ(duolink::testing::openFilesUnder(dir_), 0);
}

TEST_F(PatternListFiles, ChangesAreCountedAgainstTheLastFile)
{
    EXPECT_FALSE(listChangedSinceFiles());
    listAdd(vectorFromTexts({"1"}), vectorFromTexts({"0"}));
    EXPECT_TRUE(listChangedSinceFiles());
    writeJobFiles(); // as in a Solve
    EXPECT_FALSE(listChangedSinceFiles());
    listUpdate(vectorFromTexts({"2"}), vectorFromTexts({"0"}));
    EXPECT_TRUE(listChangedSinceFiles());
    listUpdate(vectorFromTexts({"1"}), vectorFromTexts({"0"}));
    EXPECT_FALSE(listChangedSinceFiles()); // back as in the files
    listReset();
    EXPECT_FALSE(listChangedSinceFiles()); // nothing left to lose
}

// --patterns in the headless runner.
class PatternsOption : public PatternListFiles {
protected:
    int run(const std::string& args)
    {
        const int status = duolink::testing::runBatch(args, dir_ / "out", dir_ / "err", dir_);
        err = readFile(dir_ / "err");
        return status;
    }
    std::string err;
};

TEST_F(PatternsOption, WritesTheJobFilesTheWindowWouldThenRuns)
{
    fillStore(*this, 9);
    for (int p = 1; p <= 9; ++p) {
        for (int e = 1; e <= 8; ++e)
            aPatterns[p][e] = (p * e) % 5 * 0.25, bPatterns[p][e] = (p + e) % 3 * 0.5;
        aPatterns[p][9] = parityOf(aPatterns[p]);
        bPatterns[p][9] = parityOf(bPatterns[p]);
    }
    writeFile("list.csv", patternListText(*this));
    writeJobFiles(); // what the window's Solve writes for this list
    fs::create_directory("job");
    fs::copy_file(fs::path(DUOLINK_TEST_DATA) / ".." / ".." / "examples" / kParametersFileName,
                  fs::path("job") / kParametersFileName);

    // FILE relative to the folder the runner starts in, not to DIR.
    EXPECT_EQ(run("job --patterns list.csv"), 0) << err;
    EXPECT_EQ(readFile("job/adata200.dat"), readFile(kADataFileName));
    EXPECT_EQ(readFile("job/bdata200.dat"), readFile(kBDataFileName));
    EXPECT_TRUE(fs::exists("job/vld33res.txt"));

    // A bad list: the message, exit 2, and the folder as it was.
    writeFile("bad.csv", csvLine() + "1,2\n");
    fs::create_directory("job2");
    EXPECT_EQ(run("job2 --patterns bad.csv"), 2);
    EXPECT_EQ(err, "duolink-batch: bad.csv, line 2 has 2 values, 16 expected\n");
    EXPECT_TRUE(fs::is_empty("job2"));
    EXPECT_EQ(run("job2 --patterns"), 2);

    // A list of no pairs would run a job of none: refused the same way.
    for (const std::string& empty : {std::string(), kHeader, std::string("# only a comment\n\n")}) {
        writeFile("none.csv", empty);
        EXPECT_EQ(run("job2 --patterns none.csv"), 2);
        EXPECT_EQ(err, "duolink-batch: none.csv holds no pairs\n");
        EXPECT_TRUE(fs::is_empty("job2"));
    }
}

namespace {

// A list of `pairs` pairs of shape n + m with a header: 0/1 values and, on
// every pair's first A value, a fraction that must survive the round trip.
std::string shapedCsv(int n, int m, int pairs)
{
    std::string text;
    for (int k = 1; k <= n + m; ++k)
        text += (k > 1 ? "," : "") + std::string(k <= n ? "a" : "b") + std::to_string(k <= n ? k : k - n);
    text += '\n';
    for (int p = 0; p < pairs; ++p) {
        for (int k = 0; k < n + m; ++k)
            text += (k > 0 ? "," : "") + (k == 0 ? std::string("0.3") : std::to_string((p * 7 + k * 3) % 5 < 2));
        text += '\n';
    }
    return text;
}

std::string shapedMessage(std::string_view text)
{
    try {
        parseShapedList(text, "p.csv");
    } catch (const PatternListError& e) {
        return e.what();
    }
    return "read";
}

} // namespace

TEST_F(PatternListFiles, ListsOfEveryShapeReadSaveAndBecomeJobFilesTheEngineReads)
{
    // n x m as the file holds them; the engine reads A Len n + 1.
    const std::pair<int, int> shapes[] = {{1, 1}, {8, 8}, {16, 16}, {32, 20}, {127, 21}, {49, 54}};
    for (const auto& [n, m] : shapes) {
        SCOPED_TRACE(std::to_string(n) + " x " + std::to_string(m));
        const std::string text = shapedCsv(n, m, 3);
        const ShapedPairs list = parseShapedList(text, "p.csv");
        ASSERT_EQ(list.shape, (ListShape{n, m}));
        ASSERT_EQ(list.size(), 3u);
        EXPECT_EQ(list.a[1].size(), static_cast<size_t>(n + 1));
        EXPECT_EQ(list.a[1].back(), parityOfValues(list.a[1].data(), n));
        EXPECT_EQ(list.a[2][0], 0.3);
        const ShapedPairs again = parseShapedList(shapedListText(list), "saved.csv");
        EXPECT_EQ(again.a, list.a);
        EXPECT_EQ(again.b, list.b);

        // The engine reads the files back as the list, at the list's lengths.
        writeShapedJobFiles(list, dir_);
        aLen = n + 1;
        bLen = m;
        aDataFile.open(kADataFileName);
        bDataFile.open(kBDataFileName);
        ASSERT_EQ(countPatterns(), 3);
        openADataFile();
        openBDataFile();
        for (size_t p = 0; p < 3; ++p) {
            readAVector(aVector, aDataFile);
            readBVector(bVector);
            for (int i = 1; i <= n + 1; ++i)
                ASSERT_EQ(aVector[i], static_cast<double>(roundEven(list.a[p][static_cast<size_t>(i - 1)] *
                                                                    static_cast<long double>(unity))))
                    << p << ", A" << i;
            for (int j = 1; j <= m; ++j)
                ASSERT_EQ(bVector[j], list.b[p][static_cast<size_t>(j - 1)] * unity) << p << ", B" << j;
        }
        aDataFile.close();
        bDataFile.close();
    }

    // 8 + 8 with or without a header is today's list, and today's job files.
    const std::string fixed = repeat(csvLine(), 4);
    for (const std::string& text : {fixed, kHeader + fixed, shapedCsv(8, 8, 4)}) {
        const ShapedPairs list = parseShapedList(text, "p.csv");
        EXPECT_TRUE(list.shape.fixed());
        EXPECT_EQ(shapedListText(list), (loadPatternList(parsePatternList(text, "p.csv")), patternListText(*this)));
        fs::create_directories("shaped");
        writeShapedJobFiles(list, "shaped");
        writeJobFiles();
        EXPECT_EQ(readFile(fs::path("shaped") / kADataFileName), readFile(kADataFileName));
        EXPECT_EQ(readFile(fs::path("shaped") / kBDataFileName), readFile(kBDataFileName));
    }
}

TEST_F(PatternListFiles, ShapesPastTheEnginesLimitsAndMisshapenRowsAreRefused)
{
    const struct {
        std::string text;
        const char* message;
    } cases[] = {
        {shapedCsv(128, 1, 1), "p.csv: 128 A values are too many: a pair takes at most 127 (128 with the parity element)"},
        {shapedCsv(1, 129, 1), "p.csv: 129 B values are too many: a pair takes at most 128"},
        {shapedCsv(50, 54, 1), "p.csv: pairs of 50 + 54 values need a matrix of 51 x 54 = 2754 cells; it holds at "
                               "most 2700 ((A values + 1) x B values)"},
        {"a1,a2,b1\n1,0\n", "p.csv, line 2 has 2 values, 3 expected (the header's 2 + 1)"},
        {"a1,a3,b1\n1,0,1\n", "p.csv, line 2 has 3 values, 16 expected"},
        {"a1,b1\n1,x\n", "p.csv, line 2, column B1: \"x\" is not a number"},
        {"1,0,1\n", "p.csv, line 1 has 3 values, 16 expected; for pairs of other lengths, start the file with a "
                    "header line a1,...,aN,b1,...,bM"},
        {"a1,b1\n" + repeat("1,0\n", 257), "p.csv holds 257 pairs; the list takes at most 256"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.message);
        EXPECT_EQ(shapedMessage(c.text), c.message);
    }
    // Where only 8 + 8 lists are taken, another shape says so.
    EXPECT_EQ(message(shapedCsv(2, 1, 1), "p.csv"), "p.csv holds pairs of 2 + 1 values; only lists of 8 + 8 values "
                                                    "are taken here");
}

TEST_F(PatternsOption, AListOfAnyShapeSetsTheLengthsOfTheRun)
{
    // A 32 x 20 list, and the same pairs as job files laid out by hand.
    const ShapedPairs list = parseShapedList(shapedCsv(32, 20, 5), "l.csv");
    writeFile("list.csv", shapedCsv(32, 20, 5));
    const fs::path parameters = fs::path(DUOLINK_TEST_DATA) / ".." / ".." / "examples" / kParametersFileName;
    for (const char* job : {"listed", "byhand", "refused"}) {
        fs::create_directory(job);
        fs::copy_file(parameters, fs::path(job) / kParametersFileName);
    }
    const auto lines = [&](const std::vector<std::vector<double>>& patterns, size_t length) {
        std::string text;
        for (const std::vector<double>& pattern : patterns)
            for (size_t start = 0; start < length; start += 16) {
                for (size_t k = start; k < start + 16; ++k)
                    text += (k < length ? std::to_string(pattern[k]) : "0") +
                            std::string(k + 1 < start + 16 ? " " : "");
                text += "\r\n";
            }
        return text + "9999\r\n";
    };
    writeFile(fs::path("byhand") / kADataFileName, lines(list.a, 33));
    writeFile(fs::path("byhand") / kBDataFileName, lines(list.b, 20));

    ASSERT_EQ(run("listed --patterns list.csv --set max=2"), 0) << err;
    ASSERT_EQ(run("byhand --set alen=33 --set blen=20 --set max=2"), 0) << err;
    const std::string report = readFile(fs::path("listed") / kReportFileName);
    EXPECT_NE(report.find("A Len = 33"), std::string::npos);
    EXPECT_EQ(report, readFile(fs::path("byhand") / kReportFileName));
    EXPECT_EQ(run("listed --patterns list.csv --set alen=33 --set blen=20 --set max=2"), 0) << err;

    EXPECT_EQ(run("refused --patterns list.csv --set blen=8"), 2);
    EXPECT_EQ(err, "duolink-batch: --set blen=8 disagrees with list.csv, whose pairs of 32 + 20 values train with "
                   "alen=33 and blen=20\n");
    EXPECT_FALSE(fs::exists(fs::path("refused") / kADataFileName));
}
