// SPDX-License-Identifier: GPL-3.0-or-later
#include "core/parameters/paramsfile.h"

#include <filesystem>
#include <sys/stat.h>
#include <sys/wait.h>

#include "core/engine/jobfiles.h"
#include "core/engine/solve.h"
#include "testsupport.h"

using namespace duolink;
using duolink::testing::EngineTest;
using duolink::testing::readFile;
using duolink::testing::writeFile;

namespace {

const std::string kLf = "2       run option: 1=RWM 2=PFM 3=STL 4=IRN\n"
                        "100     MAX Presentations\n"
                        "9       A Len (8 A values and the parity element)\n"
                        "8       B Len\n"
                        "0       simulation\n"
                        "0.5     BETA (learning factor)\n"
                        "0       LIMIT (not used)\n"
                        "2       transfer function: 1 or 2\n"
                        "10000   UNITY\n"
                        "0.1     TOL (tolerance)\n";

std::string toCrlf(const std::string& lf)
{
    std::string out;
    for (char c : lf)
        out += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return out;
}

struct EditCase {
    const char* what;
    std::string before;
    std::vector<std::pair<Parameter, std::string>> values;
    std::string after;
};

// Every case names the bytes that change; all others must stay.
TEST(ParametersEdit, ChangesOnlyTheTokensGiven)
{
    const std::string w = "1 2 3 4 5 6 7 8\n-9 0 0 0 0 0 0 1e3  # row 2\n";
    const std::vector<EditCase> cases = {
        {"comments behind the values", kLf, {{Parameter::Beta, "0.25"}, {Parameter::Tol, "5e-2"}},
         std::string(kLf).replace(kLf.find("0.5 "), 3, "0.25").replace(kLf.find("0.1 ") + 1, 3, "5e-2")},
        {"CR LF kept", toCrlf(kLf), {{Parameter::Max, "7"}},
         toCrlf(std::string(kLf).replace(kLf.find("100"), 3, "7"))},
        {"the W matrix section kept", toCrlf(kLf) + w, {{Parameter::Option, "1"}},
         toCrlf(std::string(kLf).replace(0, 1, "1")) + w},
        {"tabs, leading blanks, no line end at the end", "  3\tx\n1\n2\n3\n4\n5\n6\n7\n8\n\t9", {{Parameter::Option, "4"}, {Parameter::Tol, "10"}},
         "  4\tx\n1\n2\n3\n4\n5\n6\n7\n8\n\t10"},
        {"a blank line is crossed, as the engine crosses it", "1\n\n\n2 max\n3\n", {{Parameter::Max, "50"}},
         "1\n\n\n50 max\n3\n"},
        {"a line of only a comment keeps it behind the value", "1\n2\n3\n4\n5\n6\n(not used)\n", {{Parameter::Limit, "0"}},
         "1\n2\n3\n4\n5\n6\n0 (not used)\n"},
        {"a malformed number is replaced", "1,5 option\n", {{Parameter::Option, "2"}}, "2 option\n"},
        {"missing values are added up to the last one given, 0 for the others", "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8",
         {{Parameter::Tol, "0.2"}}, "1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7\r\n8\r\n0\r\n0.2\r\n"},
        {"missing values not given stay missing", "1\n2\n", {{Parameter::Option, "3"}}, "3\n2\n"},
        {"an empty file", "", {{Parameter::Option, "2"}, {Parameter::Max, "9"}}, "2\n9\n"},
    };
    for (const EditCase& c : cases) {
        ParametersEdit edit;
        for (const auto& [p, text] : c.values)
            edit.set(p, text);
        EXPECT_EQ(editParameters(c.before, edit), c.after) << c.what;
        // What the engine reads afterwards is what was set.
        const ParameterValues read = readParameterValues(c.after);
        for (const auto& [p, text] : c.values) {
            double expected = 0;
            ASSERT_TRUE(parameterValue(p, text, expected)) << c.what;
            EXPECT_EQ(read[p], expected) << c.what << ": " << parameterInfo(p).name;
        }
    }
}

TEST(ParametersEdit, NewWMatrixSectionReplacesTheOldOne)
{
    ParametersEdit edit;
    edit.set(Parameter::Option, "1");
    edit.wMatrixSection = "5 6\n";
    EXPECT_EQ(editParameters(kLf + "1 2\n3 4\n", edit), std::string(kLf).replace(0, 1, "1") + "5 6\n");
    EXPECT_EQ(editParameters("2\n3", edit), "1\n3\n0\n0\n0\n0\n0\n0\n0\n0\n5 6\n");
}

TEST(ParametersRead, ValuesAndKinds)
{
    ParameterValues v = readParameterValues(kLf);
    EXPECT_EQ(v[Parameter::Option], 2);
    EXPECT_EQ(v[Parameter::ALen], 9);
    EXPECT_EQ(v[Parameter::Beta], 0.5);
    EXPECT_EQ(v[Parameter::Unity], 10000);
    EXPECT_EQ(v[Parameter::Tol], 0.1);
    // An integer line takes no fraction; a missing value reads as 0.
    v = readParameterValues("2.0\n1e2\n9\n");
    EXPECT_FALSE(v.valid(Parameter::Option));
    EXPECT_FALSE(v.valid(Parameter::Max));
    EXPECT_TRUE(v.valid(Parameter::Tol));
    EXPECT_EQ(v[Parameter::Tol], 0);

    struct Token {
        Parameter p;
        const char* text;
        bool ok;
    };
    const std::string tooLong(65, '1');
    for (const Token& t : std::vector<Token>{{Parameter::Unity, "+10000", true},
                                            {Parameter::Unity, "2147483648", false},
                                            {Parameter::Max, "-2147483648", true},
                                            {Parameter::Beta, ".5", true},
                                            {Parameter::Beta, "5.", true},
                                            {Parameter::Beta, "1e400", false},
                                            {Parameter::Beta, "0,5", false},
                                            {Parameter::Tol, "", false},
                                            {Parameter::Tol, tooLong.c_str(), false}}) {
        double value = 0;
        EXPECT_EQ(parameterValue(t.p, t.text, value), t.ok) << t.text;
    }
    EXPECT_EQ(parameterByName("blen"), Parameter::BLen);
    EXPECT_EQ(parameterByName("BLEN"), std::nullopt);
}

TEST(ParametersCheck, MessagesPerField)
{
    struct Case {
        std::array<std::string, kParameterCount> texts;
        ParametersContext context;
        std::vector<std::pair<Parameter, bool>> expected; // field, error
    };
    using P = Parameter;
    const std::array<std::string, kParameterCount> good = {"2", "100", "9", "8", "0", "0.5", "0", "2", "10000", "0.1"};
    auto with = [&](std::vector<std::pair<P, std::string>> changes) {
        auto texts = good;
        for (auto& [p, t] : changes)
            texts[static_cast<size_t>(p)] = t;
        return texts;
    };
    const std::vector<Case> cases = {
        {good, {}, {}},
        {with({{P::ALen, "0"}, {P::BLen, "129"}}), {}, {{P::ALen, true}, {P::BLen, true}}},
        {with({{P::ALen, "100"}, {P::BLen, "27"}}), {}, {}},
        {with({{P::ALen, "100"}, {P::BLen, "28"}}), {}, {{P::BLen, true}}},
        {with({{P::Max, "-1"}, {P::Unity, "0"}}), {}, {{P::Max, true}, {P::Unity, true}}},
        {with({{P::Unity, "100"}, {P::Transfer, "3"}}), {}, {{P::Transfer, false}, {P::Unity, false}}},
        {with({{P::Simulation, "1"}}), {}, {{P::Simulation, false}}},
        {with({{P::Simulation, "1"}}), {true, false}, {}},
        {with({{P::Option, "1"}}), {}, {{P::Option, false}}},
        {with({{P::Option, "1"}}), {false, true}, {}},
        {with({{P::Option, "5"}, {P::Beta, "x"}, {P::Tol, ""}, {P::ALen, "9.0"}}), {},
         {{P::Option, false}, {P::ALen, true}, {P::Beta, true}, {P::Tol, true}}},
    };
    for (size_t k = 0; k < cases.size(); ++k) {
        std::vector<std::pair<P, bool>> got;
        for (const ParameterMessage& m : checkParameters(cases[k].texts, cases[k].context))
            got.emplace_back(m.parameter, m.error);
        std::sort(got.begin(), got.end());
        EXPECT_EQ(got, cases[k].expected) << "case " << k;
    }
}

using ParametersFileTest = EngineTest;

// A section written for a matrix reads back into the engine cell for cell,
// with a row spanning two lines and padding on the second.
TEST_F(ParametersFileTest, WMatrixSectionReadsBackExactly)
{
    const int aLen = 3, bLen = 20;
    std::vector<double> cells(aLen * bLen + 1);
    for (size_t k = 1; k < cells.size(); ++k)
        cells[k] = (k % 2 ? -1.0 : 1.0) * static_cast<double>(k * k * 1234567) + (k == 7 ? 1e300 : 0);
    ParametersEdit edit;
    edit.set(Parameter::Option, "1");
    edit.set(Parameter::ALen, "3");
    edit.set(Parameter::BLen, "20");
    edit.wMatrixSection = formatWMatrixSection(cells.data(), aLen, bLen, "\r\n");
    const std::string text = editParameters(toCrlf(kLf), edit);
    EXPECT_TRUE(hasWMatrixSection(text, scanParameters(text), aLen, bLen));
    EXPECT_FALSE(hasWMatrixSection(text, scanParameters(text), aLen + 1, bLen));
    EXPECT_FALSE(hasWMatrixSection(toCrlf(kLf), scanParameters(toCrlf(kLf)), 9, 8));

    writeFile(kParametersFileName, text);
    reportFile.create(kReportFileName);
    readParameters(kParametersFileName);
    reportFile.close();
    for (int k = 1; k < aLen * bLen + 1; ++k)
        ASSERT_EQ(wMatrix[k], cells[k]) << k;
}

TEST_F(ParametersFileTest, WriteReplacesAtomicallyAndKeepsTheMode)
{
    std::string error;
    writeFile("p.dat", "old");
    ::chmod("p.dat", 0640);
    std::filesystem::create_symlink("p.dat", "link.dat");
    ASSERT_TRUE(writeParametersFile("link.dat", "new", error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink("link.dat"));
    EXPECT_EQ(readFile("p.dat"), "new");
    struct stat st{};
    ::stat("p.dat", &st);
    EXPECT_EQ(st.st_mode & 0777, 0640u);

    std::filesystem::create_directory("folder.dat");
    EXPECT_FALSE(writeParametersFile("folder.dat", "x", error));
    EXPECT_FALSE(writeParametersFile("no/such/p.dat", "x", error));
    ::chmod("p.dat", 0440);
    if (::geteuid() != 0)
        EXPECT_FALSE(writeParametersFile("p.dat", "x", error));
    // Nothing is left behind: the folder holds what the test made.
    int entries = 0;
    for ([[maybe_unused]] const auto& e : std::filesystem::directory_iterator("."))
        ++entries;
    EXPECT_EQ(entries, 3);

    std::string text;
    EXPECT_TRUE(readParametersFile("p.dat", text, error));
    EXPECT_EQ(text, "new");
    EXPECT_FALSE(readParametersFile("folder.dat", text, error));
    EXPECT_FALSE(readParametersFile("/dev/zero", text, error));
    ASSERT_EQ(::mkfifo("fifo.dat", 0600), 0);
    EXPECT_FALSE(readParametersFile("fifo.dat", text, error)); // refused at once, never waits
    EXPECT_FALSE(readParametersFile("missing.dat", text, error));
    EXPECT_EQ(error, "File not found");
    EXPECT_EQ(text, "new");
}

// The simulation flag as the engine reads it, so that the window shows what
// a Solve will do.
TEST(ParameterValues, SimulationIsOnWhereTheEngineReadsOne)
{
    for (const char* on : {"1", "01", "+1", "001"})
        EXPECT_TRUE(simulationOn(on)) << on;
    for (const char* off : {"0", "00", "2", "-1", "x", ""})
        EXPECT_FALSE(simulationOn(off)) << off;
}

// What cannot be replaced as a whole is refused, and stays as it was: a file
// in a folder that takes no new files, a stream behind /dev/stdout. A link
// to a missing file is written through, the link kept.
TEST_F(ParametersFileTest, WhatCannotBeReplacedWholeIsRefused)
{
    std::string error;
    std::filesystem::create_symlink("target.dat", "dangling.dat");
    ASSERT_TRUE(writeParametersFile("dangling.dat", "new", error)) << error;
    EXPECT_TRUE(std::filesystem::is_symlink("dangling.dat"));
    EXPECT_EQ(readFile("target.dat"), "new");
    EXPECT_FALSE(writeParametersFile("/dev/stdout", "x", error));
    EXPECT_EQ(error, "is not a regular file");

    std::filesystem::create_directory("closed");
    writeFile("closed/p.dat", "old");
    ::chmod("closed/p.dat", 0666);
    ::chmod("closed", 0755);
    // Someone who may write the file but not the folder (root may do both).
    const pid_t child = ::fork();
    if (child == 0) {
        if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0))
            ::_exit(3);
        if (::geteuid() != 0)
            ::chmod("closed", 0555);
        std::string why;
        const bool written = writeParametersFile("closed/p.dat", "new", why);
        ::_exit(written ? 1 : why.find("its folder takes no new files") != std::string::npos ? 0 : 2);
    }
    int status = 0;
    ::waitpid(child, &status, 0);
    ::chmod("closed", 0755);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << status;
    EXPECT_EQ(readFile("closed/p.dat"), "old");
}

} // namespace
