// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/support/numtext.h"
#include "core/patterns/patterns.h"
#include "core/engine/jobfiles.h"
#include "core/engine/solve.h"
#include "testsupport.h"

#include <filesystem>

#include <sys/stat.h>
#include <unistd.h>

using namespace duolink;
using duolink::testing::crlf;
using duolink::testing::EngineTest;
using duolink::testing::readFile;
using duolink::testing::writeFile;

namespace {

std::string paramsText(std::vector<std::string> lines)
{
    return crlf(lines);
}

const std::vector<std::string> kValid = {"2", "100", "9", "8", "0", "0.05", "0", "2", "10000", "0.01"};

} // namespace

class JobFiles : public EngineTest {
protected:
    void TearDown() override
    {
        listReset();
        for (auto& v : aPatterns)
            v.fill(0);
        for (auto& v : bPatterns)
            v.fill(0);
        EngineTest::TearDown();
    }
    // Runs a parameter read with an open report file and returns the report text.
    std::string readParamsReport(bool rd, bool& terminated)
    {
        reportFile.create("vld33res.txt");
        terminated = false;
        try {
            if (rd)
                readParametersRD("veld200gSetup.dat");
            else
                readParameters("veld200gSetup.dat");
            reportFile.close();
        } catch (const JobTerminated&) {
            terminated = true;
        }
        return readFile("vld33res.txt");
    }
};

TEST_F(JobFiles, WritesNineFieldsPerPairAndTheSentinel)
{
    writeJobFiles();
    EXPECT_EQ(readFile("adata200.dat"), "9999\r\n");
    EXPECT_EQ(readFile("bdata200.dat"), "9999\r\n");

    TPatternVector a{0, 1, 0, 0.5, 0.0004, -2.5, 9999.9996, -999.9995, 123456.789, 1};
    TPatternVector b{0, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0.001, 0};
    listAdd(a, b);
    writeJobFiles();
    EXPECT_EQ(readFile("adata200.dat"),
              "    1.000    0.000    0.500    0.000   -2.500 10000.000 -1000.000 123456.789    1.000\r\n9999\r\n");
    EXPECT_EQ(readFile("bdata200.dat"),
              "    0.001    0.001    0.001    0.001    0.001    0.001    0.001    0.001    0.000\r\n9999\r\n");

    // Every value reads back as written.
    aDataFile.open("adata200.dat");
    unity = 1000;
    aLen = 9;
    readAVector(aVector, aDataFile);
    EXPECT_EQ(aVector[6], 10000000);
    EXPECT_EQ(aVector[7], -1000000);
    EXPECT_EQ(aVector[8], 123456789);
}

TEST_F(JobFiles, ReaderTakesGroupsOfLineReadsAndKeepsTheSentinelUnscaled)
{
    writeFile("a.dat", crlf({"0.05 0.15 0.45 0.25 9999 7 8 9 10", "11 12 13", "9999"}));
    aDataFile.open("a.dat");
    unity = 10;
    aLen = 4;
    readAVector(aVector, aDataFile);
    // Extended products: 0.05 -> 0.5000..01 -> 1, 0.15 -> 1.4999.. -> 1, 0.45 -> 5, 0.25 -> 2.5 -> 2.
    EXPECT_EQ((std::vector<double>{aVector[1], aVector[2], aVector[3], aVector[4]}),
              (std::vector<double>{1, 1, 5, 2}));
    aLen = 10;
    aDataFile.open("a.dat");
    readAVector(aVector, aDataFile);
    EXPECT_EQ(aVector[5], 9999) << "kept unscaled";
    EXPECT_EQ(aVector[9], 100);
    EXPECT_EQ(aVector[10], 110) << "the tenth value comes from the next line";
    readAVector(aVector, aDataFile);
    EXPECT_EQ(aVector[1], 9999);
    EXPECT_EQ(aVector[2], 0) << "past the end a value reads 0";

    writeFile("b.dat", crlf({"1 2 3 4 5 6 7 8 9", "x 2", "9999"}));
    bDataFile.open("b.dat");
    bLen = 8;
    readBVector(bVector);
    EXPECT_EQ(bVector[8], 80);
    readBVector(bVector);
    EXPECT_EQ(bVector[1], 0) << "a token that is not a number reads 0";
    EXPECT_EQ(bVector[2], 20);
}

// A run reads its data files once: each presentation's reopening starts again
// from what was read, however the file changes meanwhile; a closed reader
// reads the file anew.
TEST_F(JobFiles, ReopeningInARunServesTheFileAsFirstRead)
{
    writeFile("a.dat", crlf({"1 2", "3 4", "9999"}));
    aDataFile.open("a.dat");
    unity = 1;
    aLen = 2;
    readAVector(aVector, aDataFile);
    writeFile("a.dat", crlf({"5 6", "9999"}));
    for (int presentation = 0; presentation < 2; ++presentation) {
        openADataFile();
        readAVector(aVector, aDataFile);
        EXPECT_EQ(aVector[2], 2);
        readAVector(aVector, aDataFile);
        EXPECT_EQ(aVector[1], 3);
        readAVector(aVector, aDataFile);
        EXPECT_EQ(aVector[1], 9999);
        EXPECT_TRUE(aDataFile.eof());
    }
    aDataFile.close();
    openADataFile();
    readAVector(aVector, aDataFile);
    EXPECT_EQ(aVector[1], 5) << "closed, the reader reads the file again";

    std::filesystem::remove("a.dat");
    aDataFile.close();
    EXPECT_THROW(openADataFile(), RunError);
}

// Values kept from one pass come back only where the next pass reads at the
// same place: a pass that skips, reads whole numbers or stops early reads
// what a fresh reader would.
TEST_F(JobFiles, RewoundReaderReadsAsAFreshOneInAnyOrder)
{
    const std::string text = crlf({"1.5 x 2", " 3e1 4", "", "9999 -0.25"});
    auto readAll = [](TextReader& f, int skipAfter) {
        std::vector<std::pair<double, bool>> got;
        for (int k = 0; !f.eof() && k < 8; ++k) {
            bool ok = true;
            got.emplace_back(k == 3 ? static_cast<double>(f.readInt(ok)) : f.readReal(ok), ok);
            if (k == skipAfter)
                f.skipLine();
        }
        return got;
    };
    TextReader kept;
    kept.openText("a.dat", text);
    for (int skipAfter : {-1, 0, 1, -1, 2, 0, -1}) {
        TextReader fresh;
        fresh.openText("a.dat", text);
        kept.rewind();
        EXPECT_EQ(readAll(kept, skipAfter), readAll(fresh, skipAfter)) << skipAfter;
    }
}

TEST_F(JobFiles, CountPatternsStopsAtTheFirstSentinelGroup)
{
    TPatternVector a{0, 1, 0, 0, 0, 0, 0, 0, 0, 1};
    TPatternVector s{0, 9999, 0, 0, 0, 0, 0, 0, 0, 0};
    listAdd(a, a);
    listAdd(s, a);
    listAdd(a, a);
    writeJobFiles();
    aDataFile.open(kADataFileName);
    unity = 10000;
    aLen = 9;
    EXPECT_EQ(countPatterns(), 1);

    writeFile(kADataFileName, crlf({"1 0 0 0 0 0 0 0 1", "   "}));
    reportFile.create("vld33res.txt");
    aDataFile.open(kADataFileName);
    EXPECT_THROW(countPatterns(), JobTerminated);
    EXPECT_EQ(readFile("vld33res.txt"),
              crlf({"Unexpected End of File ADATA.DAT", "Terminating Program", "PROGRAM DONE"}));
}

TEST_F(JobFiles, ParametersEchoValidFile)
{
    auto lines = kValid;
    lines[0] = "2   comment after the value";
    writeFile("veld200gSetup.dat", paramsText(lines));
    bool terminated;
    EXPECT_EQ(readParamsReport(false, terminated),
              crlf({"PARAMETERS", "2 1 = RWM 2=PFM 3=STL 4=IRN ", "MAX Presentations: 100", "A Len = 9",
                    "B Len = 8", "TOL     =  1.00000000000000E-0002", "BETA    =  5.00000000000000E-0002",
                    "LIMIT   =  0.00000000000000E+0000", "OPTION  = 2 Transfer Function 2 Selected",
                    "UNITY   = 10000"}));
    EXPECT_FALSE(terminated);
    EXPECT_EQ(pane.lines, (std::vector<std::string>{"Unity=     10000"}));
    EXPECT_EQ(runOption, 2);
    EXPECT_EQ(unity, 10000);
    EXPECT_DOUBLE_EQ(tol, 0.01);

    pane.lines.clear();
    readParamsReport(true, terminated);
    EXPECT_EQ(pane.lines, (std::vector<std::string>{"Unity RD=     10000"}));
}

TEST_F(JobFiles, ParametersCorrectedAndShortFiles)
{
    writeFile("veld200gSetup.dat", paramsText({"5", "-3", "2", "1", "0", "1.5", "2", "3", "-4", "0.5"}));
    bool terminated;
    EXPECT_EQ(readParamsReport(false, terminated),
              crlf({"PARAMETERS", "5 1 = RWM 2=PFM 3=STL 4=IRN ", "MAX Presentations: -3", "A Len = 2",
                    "B Len = 1", "TOL     =  5.00000000000000E-0001", "BETA    =  1.50000000000000E+0000",
                    "LIMIT   =  2.00000000000000E+0000",
                    "OPTION  = 3ERROR-INVALID Option Selected Assuming Option 1", " Transfer Function 1 Selected",
                    "ERROR-INVALID Unity Value Assuming Unity=10", "UNITY   = 10"}));
    EXPECT_EQ(transferFunction, 1);
    EXPECT_EQ(pane.lines.back(), "Unity=        10");

    // Ending after line 8: UNITY and TOL read 0, and UNITY 0 is accepted.
    writeFile("veld200gSetup.dat", paramsText({"2", "1", "1", "1", "0", "1", "0", "1"}));
    std::string r = readParamsReport(false, terminated);
    EXPECT_FALSE(terminated);
    EXPECT_EQ(unity, 0);
    EXPECT_EQ(tol, 0);
    EXPECT_NE(r.find("OPTION  = 1 Transfer Function 1 Selected\r\nUNITY   = 0\r\n"), std::string::npos);
}

TEST_F(JobFiles, ParameterThatIsNotANumberEndsTheCommand)
{
    auto lines = kValid;
    lines[5] = "fast";
    writeFile("veld200gSetup.dat", paramsText(lines));
    reportFile.create("vld33res.txt");
    try {
        readParameters("veld200gSetup.dat");
        FAIL() << "no error";
    } catch (const RunError& e) {
        EXPECT_STREQ(e.what(), "Invalid numeric input");
    }
}

// The fatal paths themselves are compared whole in the job tests; here the
// edge of the size check and what it leaves behind.
TEST_F(JobFiles, MatrixOfExactly2700CellsIsAccepted)
{
    writeFile("veld200gSetup.dat", paramsText({"2", "100", "100", "27", "0", "0", "0", "2", "10", "0"}));
    bool terminated;
    readParamsReport(false, terminated);
    EXPECT_FALSE(terminated);
    writeFile("veld200gSetup.dat", paramsText({"2", "100", "100", "28", "0", "0", "0", "2", "10", "0"}));
    EXPECT_TRUE(readParamsReport(false, terminated).ends_with(
        crlf({"B Len = 28", "MATRIX TOO BIG", "Terminating Program", "PROGRAM DONE"})));
    EXPECT_TRUE(terminated);
    EXPECT_EQ(aLen * bLen, 0) << "refused lengths are not kept for later commands";

    writeFile("veld200gSetup.dat", paramsText({"2", "100", "9", "500"}));
    readParamsReport(false, terminated);
    EXPECT_TRUE(terminated);
    EXPECT_EQ(bLen, 0);

    // An error between the two lengths leaves no out-of-range A Len behind.
    writeFile("veld200gSetup.dat", paramsText({"2", "100", "500", "x"}));
    reportFile.create("vld33res.txt");
    EXPECT_THROW(readParameters("veld200gSetup.dat"), RunError);
    EXPECT_EQ(aLen, 0);
}

TEST_F(JobFiles, SimulationFileIsFoundInAnyLetterCase)
{
    EXPECT_EQ(simulationFileName(), "");
    writeFile("NuTest.Dat", "1\r\n");
    EXPECT_EQ(simulationFileName(), "NuTest.Dat");
    auto lines = kValid;
    lines[4] = "1";
    writeFile("veld200gSetup.dat", paramsText(lines));
    bool terminated;
    readParamsReport(false, terminated);
    EXPECT_FALSE(terminated);
    writeFile("nutest.dat", "1\r\n");
    EXPECT_EQ(simulationFileName(), "nutest.dat");
}

TEST_F(JobFiles, WMatrixSectionIsStoredUnscaledAndEchoed)
{
    // Two rows of 17 columns: two lines of 16 values per row; the values
    // beyond column 17 on each row's second line are padding.
    auto lines = kValid;
    lines[0] = "1";
    lines[2] = "2";
    lines[3] = "17";
    std::vector<std::vector<double>> rows = {
        {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
        {17, 99, 98, 97, 96, 95, 94, 93, 92, 91, 90, 89, 88, 87, 86, 85},
        {-1.5, 0, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16},
        {7, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0},
    };
    lines.push_back("1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16");
    lines.push_back("17 99 98 97 96 95 94 93 92 91 90 89 88 87 86 85 84 (rest ignored)");
    lines.push_back("-1.5 bad 3 4 5 6 7 8 9 10 11 12 13 14 15 16");
    lines.push_back("7");
    writeFile("veld200gSetup.dat", paramsText(lines));
    bool terminated;
    std::string report = readParamsReport(false, terminated);
    EXPECT_EQ(wMatrix[cellIndex(1, 16)], 16);
    EXPECT_EQ(wMatrix[cellIndex(1, 17)], 17);
    EXPECT_EQ(wMatrix[cellIndex(2, 1)], -1.5);
    EXPECT_EQ(wMatrix[cellIndex(2, 17)], 7);
    EXPECT_EQ(wMatrix[cellIndex(3, 1)], 0) << "padding is not stored";
    std::vector<std::string> expected = {"UNITY   = 10000", "W Matrix "};
    for (const auto& row : rows) {
        std::string echo;
        for (double v : row)
            echo += longExpText(v);
        expected.push_back(echo);
    }
    expected.push_back("");
    EXPECT_NE(report.find(crlf(expected)), std::string::npos) << report;
    EXPECT_TRUE(report.ends_with(crlf(expected)));
}

TEST_F(JobFiles, FileExistsLooksAtTheFirstTwentyCharacters)
{
    writeFile("abcdefghijklmnopqrst", "x");
    EXPECT_TRUE(fileExists("abcdefghijklmnopqrstuvwxy"));
    EXPECT_FALSE(fileExists("missing.dat"));
}

TEST_F(JobFiles, OnlyRegularFilesExistAsFiles)
{
    // A folder cannot be read as a file; a pipe that nobody writes would
    // block the open for good; a device could be read forever.
    std::filesystem::create_directory("adir");
    ASSERT_EQ(::mkfifo("apipe", 0600), 0);
    ASSERT_EQ(::symlink("/dev/zero", "zeros"), 0);
    EXPECT_FALSE(fileExists("adir"));
    EXPECT_FALSE(fileExists("apipe"));
    EXPECT_FALSE(fileExists("zeros"));
}
