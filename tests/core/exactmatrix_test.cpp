// SPDX-License-Identifier: GPL-3.0-or-later
// The exact copy of the matrix: export and import give the matrix bit for
// bit; a file that is not one changes nothing and says why.
#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>

#include <unistd.h>

#include "core/predict/exactmatrix.h"
#include "core/support/errors.h"
#include "testsupport.h"

namespace duolink {
namespace {

namespace fs = std::filesystem;

// A fresh folder of this test's own.
fs::path scratchDir(const std::string& name)
{
    const fs::path dir = fs::temp_directory_path() / ("duolink-" + name + "-" + std::to_string(::getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir);
    return dir;
}

TEST(ExactMatrix, ExportAndImportGiveTheMatrixBitForBit)
{
    const fs::path dir = scratchDir("exactmatrix");
    EngineState engine;
    engine.setPatternLengths(10, 3);
    engine.setUnity(1000);
    const double odd[] = {0.1 + 0.2, -0.0, 1e300, -12345678901234567.0, 5e-324, 7, -10000, 0.0001};
    for (int i = 1; i <= 10; ++i)
        for (int j = 1; j <= 3; ++j)
            engine.setWeight(engine.cellIndex(i, j), odd[(i * 3 + j) % 8] * i);
    const std::string path = (dir / "m.csv").string();
    exportMatrixFile(engine, path);
    EXPECT_EQ(testing::readFile(dir / "m.csv.json").substr(0, 48), "{\n  \"a_len\": 10,\n  \"b_len\": 3,\n  \"unity\": 1000,\n");

    EngineState back;
    importMatrixFile(back, path);
    EXPECT_EQ(back.state().aLen, 10);
    EXPECT_EQ(back.state().bLen, 3);
    EXPECT_EQ(std::memcmp(back.state().wMatrix.data(), engine.state().wMatrix.data(), sizeof(double) * (30 + 1)), 0);
}

TEST(ExactMatrix, AFileThatIsNoneChangesNothing)
{
    const fs::path dir = scratchDir("exactmatrix-hostile");
    const struct {
        std::string text;
        const char* said;
    } cases[] = {
        {"", "the file is empty"},
        {"1,2\n3\n", "line 2 has 1 cells, not 2"},
        {"1,,2\n", "field 2 of line 1 is not a number"},
        {"1,2\n\n3,4\n", "line 2 is empty"},
        {"1e999\n", "field 1 of line 1 is not a number"},
        {"nan\n", "field 1 of line 1 is not a number"},
        {"0x10\n", "field 1 of line 1 is not a number"},
        {std::string(2701, '1').replace(1, 2699, std::string(1349, ',') + std::string(1350, '1')), "not"},
        {[] {
             std::string wide = "0";
             for (int k = 0; k < 129; ++k)
                 wide += ",0";
             return wide + "\n";
         }(),
         "A Len and B Len go up to 128"},
    };
    for (const auto& c : cases) {
        testing::writeFile(dir / "bad.csv", c.text);
        EngineState engine;
        engine.setPatternLengths(9, 8);
        engine.setWeight(1, 42);
        try {
            importMatrixFile(engine, (dir / "bad.csv").string());
            ADD_FAILURE() << c.text.substr(0, 40);
        } catch (const RunError& e) {
            EXPECT_NE(std::string(e.what()).find(c.said), std::string::npos) << e.what();
            EXPECT_EQ(e.file(), (dir / "bad.csv").string());
        }
        EXPECT_EQ(engine.state().aLen, 9);
        EXPECT_EQ(engine.state().wMatrix[1], 42);
    }
    EngineState engine;
    EXPECT_THROW(importMatrixFile(engine, (dir / "missing.csv").string()), RunError);
    EXPECT_THROW(importMatrixFile(engine, dir.string()), RunError);
}

} // namespace
} // namespace duolink
