// SPDX-License-Identifier: GPL-3.0-or-later
// Solve, Predict and the matrix files driven through the real window, on the
// real engine, in a scratch working folder.
#include <QApplication>
#include <QDir>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>

#include <filesystem>
#include <fstream>
#include <sstream>

#include <unistd.h>

#include "core/guard/folderlock.h"
#include "pane/consoleview.h"
#include "app/formnuminstances.h"
#include "tests/core/testsupport.h"
#include "tests/gui/fixture.h"

using namespace duolink;
namespace fs = std::filesystem;

namespace {

const fs::path kExamples = fs::path(DUOLINK_TEST_DATA) / ".." / ".." / "examples";

using duolink::testing::readFile;

// The example pattern set: each B pattern is its A pattern read backwards.
const char* const kPairs[5][16] = {
    {"1", "1", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "1", "1"},
    {"0", "0", "1", "1", "0", "0", "0", "0", "0", "0", "0", "0", "1", "1", "0", "0"},
    {"0", "0", "0", "0", "1", "1", "0", "0", "0", "0", "1", "1", "0", "0", "0", "0"},
    {"0", "0", "0", "0", "0", "0", "1", "1", "1", "1", "0", "0", "0", "0", "0", "0"},
    {"1", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "1"},
};

class SolveInWindow : public WindowInWorkFolder {
protected:
    void typePair(int k)
    {
        for (int f = 0; f < 16; ++f) {
            dataField(f)->clear();
            testinput::type(dataField(f), kPairs[k][f]);
        }
    }
    void addExamplePairs()
    {
        for (int k = 0; k < 5; ++k) {
            typePair(k);
            ui->Button1->click();
        }
    }
};

} // namespace

TEST_F(SolveInWindow, TrainsFromTypedPairsAndShowsTheRun)
{
    fs::copy_file(kExamples / "veld200gSetup.dat", dir / "veld200gSetup.dat");
    addExamplePairs();
    ui->Button6->click();
    waitForRun();
    EXPECT_TRUE(fake.calls.empty()) << fake.calls.front().first.toStdString();

    // The job files are exactly the example job's, written from the list.
    EXPECT_EQ(readFile(dir / "adata200.dat"), readFile(kExamples / "demo" / "adata200.dat"));
    EXPECT_EQ(readFile(dir / "bdata200.dat"), readFile(kExamples / "demo" / "bdata200.dat"));

    const auto lines = paneLines();
    ASSERT_GT(lines.size(), 20u);
    EXPECT_EQ(lines[0], "Welcome to Morvath Duolink 100");
    EXPECT_EQ(lines[1], "VLD33- Matrona 2.2");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "*** Flag2 -  True  "), 1);
    EXPECT_EQ(std::count(lines.begin(), lines.end(), "*** Flag2 -  False "), 4);
    EXPECT_NE(std::find(lines.begin(), lines.end(), "Number of Presenatations:    5"), lines.end());
    EXPECT_EQ(lines.back(), "PROGRAM DONE");
    EXPECT_EQ(ui->Edit2->text(), "    1.000");
    EXPECT_EQ(ui->ProgressBar1->maximum(), 1000);
    EXPECT_EQ(ui->ProgressBar1->value(), 990);  // 5 x 10, then (100 - 6) x 1000 / 100
    const std::string report = readFile(dir / "vld33res.txt");
    EXPECT_TRUE(report.starts_with("Matrona 2.2\r\n"));
    EXPECT_NE(report.find("\r\nNumber of Presenatations: 5\r\n======= FINAL MATRIX =========\r\n"), std::string::npos);

    // Predict the first pair's B pattern from its A pattern.
    typePair(0);
    ui->Button7->click();
    EXPECT_EQ(fieldTexts().mid(8), (QStringList{"    0.000", "    0.000", "    0.000", "    0.000", "    0.000",
                                                "    0.000", "    1.000", "    1.000"}));
    const auto after = paneLines();
    ASSERT_EQ(after.size(), lines.size() + 3);
    EXPECT_EQ(after[after.size() - 3],
              " INPUT   1.00000   1.00000   0.00000   0.00000   0.00000   0.00000   0.00000   0.00000   0.00000 ");
    EXPECT_EQ(after.back(), "");
    // Each check keeps its listing in a window of its own.
    const auto checks = form->findChildren<TFormNumInstances*>();
    ASSERT_EQ(checks.size(), 2);
    EXPECT_EQ(checks.back()->Memo1->toPlainText(),
              "Memo1\nApp File 2: gui_tests\n------------------------------\ninit\ngui_tests\n"
              "There are 2 process(s)\nThere are 1  instance(s) of process\n");

    // Keep the matrix and load it back: nine listed rows.
    fake.fileAnswer = QString::fromStdString((dir / "m.vmat2").string());
    ui->Button10->click();
    EXPECT_EQ(fs::file_size(dir / "m.vmat2"), 810u);
    ui->Button11->click();
    EXPECT_EQ(paneLines().size(), after.size() + 9);
    EXPECT_TRUE(fake.calls.size() == 2 && fake.calls[0].kind == "save" && fake.calls[1].kind == "open");
}

TEST_F(SolveInWindow, AnInputErrorEndsTheJobButNotTheProgram)
{
    addExamplePairs();  // no parameters file in the folder
    ui->Button6->click();
    waitForRun();
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0].kind, "message");
    EXPECT_TRUE(fake.calls[0].first.contains("vld33res.txt"));
    EXPECT_TRUE(readFile(dir / "vld33res.txt").ends_with("VELD30.dat not available\r\nTerminating Program\r\nPROGRAM DONE\r\n"));
    EXPECT_EQ(list().patternCount, 5) << "the typed list survives";
    EXPECT_EQ(list().aPatterns[5][1], 1.0);
    EXPECT_EQ(paneLines().back(), " ");

    // The window goes on: the list still works and the next Solve runs.
    ui->Button1->click();
    EXPECT_EQ(ui->Edit1->text(), "    6");
    fs::copy_file(kExamples / "veld200gSetup.dat", dir / "veld200gSetup.dat");
    ui->Button6->click();
    waitForRun();
    EXPECT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(paneLines().back(), "PROGRAM DONE");
}

// Run as root, where permission bits stop no write: each failure below is
// made real by what stands under the file's name.
TEST_F(SolveInWindow, JobFilesThatCannotBeWrittenLeaveListAndMatrixAsTheyWere)
{
    fs::copy_file(kExamples / "veld200gSetup.dat", dir / "veld200gSetup.dat");
    addExamplePairs();
    ui->Button6->click();
    waitForRun();
    ASSERT_TRUE(fake.calls.empty());
    const Matrix trained = engine().state().wMatrix;
    const auto a = list().aPatterns;
    const auto b = list().bPatterns;
    const std::string bData = readFile(dir / "bdata200.dat");

    // A folder where the A data file should be written.
    fs::remove(dir / "adata200.dat");
    fs::create_directory(dir / "adata200.dat");
    const auto lines = paneLines().size();
    ui->Button6->click();
    waitForRun();
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0].kind, "error");
    EXPECT_EQ(fake.calls[0].first, "adata200.dat: is a folder");
    EXPECT_EQ(paneLines().size(), lines) << "the runs never started";
    EXPECT_EQ(list().patternCount, 5);
    EXPECT_TRUE(list().aPatterns == a && list().bPatterns == b);
    EXPECT_TRUE(engine().state().wMatrix == trained);
    EXPECT_EQ(readFile(dir / "bdata200.dat"), bData);
    EXPECT_FALSE(engine().state().reportFile.isOpen() || engine().state().aDataFile.isOpen() || engine().state().bDataFile.isOpen());
    EXPECT_EQ(duolink::testing::openFilesUnder(dir), 0);

    // A failed load leaves the matrix as it was and prints nothing.
    std::ofstream(dir / "bad.vmat2") << "1 2 3 x\r\n";
    fake.fileAnswer = QString::fromStdString((dir / "bad.vmat2").string());
    ui->Button11->click();
    EXPECT_EQ(fake.calls.back().kind, "error");
    EXPECT_EQ(fake.calls.back().first, "bad.vmat2: Invalid numeric input");
    EXPECT_EQ(paneLines().size(), lines);
    EXPECT_TRUE(engine().state().wMatrix == trained);

    // The window goes on: with the folder gone the same Solve runs.
    fs::remove(dir / "adata200.dat");
    ui->Button6->click();
    waitForRun();
    EXPECT_EQ(fake.calls.size(), 3u) << "no call after the load's dialog and error";
    EXPECT_EQ(paneLines().back(), "PROGRAM DONE");
    EXPECT_TRUE(engine().state().wMatrix == trained);
}

// The report file is a link to /dev/full: every write to it fails with
// "no space left".
TEST_F(SolveInWindow, AReportThatCannotBeWrittenEndsTheRunAndClosesEveryFile)
{
    fs::copy_file(kExamples / "veld200gSetup.dat", dir / "veld200gSetup.dat");
    fs::create_symlink("/dev/full", dir / "vld33res.txt");
    addExamplePairs();
    ui->Button6->click();
    waitForRun();
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0].kind, "error");
    // One wording for a full disk, the report's, wherever it is told.
    EXPECT_EQ(fake.calls[0].first, "vld33res.txt: Disk full");
    EXPECT_FALSE(engine().state().reportFile.isOpen() || engine().state().aDataFile.isOpen() || engine().state().bDataFile.isOpen());
    EXPECT_EQ(duolink::testing::openFilesUnder(dir), 0);
    EXPECT_EQ(duolink::testing::openFilesUnder("/dev/full"), 0);
    EXPECT_EQ(list().patternCount, 5);
    EXPECT_TRUE(fs::is_character_file("/dev/full"));

    // Once the report can be written, the next Solve runs to its end.
    fs::remove(dir / "vld33res.txt");
    ui->Button6->click();
    waitForRun();
    EXPECT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(paneLines().back(), "PROGRAM DONE");
    EXPECT_NE(readFile(dir / "vld33res.txt").find("\r\n======= FINAL MATRIX"), std::string::npos);
}

// A Solve that fails in the middle of a pane line (UNITY 0 with the matrix
// from the parameters file), then a Predict: the half line stands alone.
TEST_F(SolveInWindow, AFailedSolveLeavesNoHalfLineForTheNextCommand)
{
    std::string parameters = "1\n5\n9\n8\n0\n0.5\n0.001\n2\n0\n0.1\n";
    for (int row = 0; row < 9; ++row)
        parameters += "0 0 0 0 0 0 0 0\n";
    std::ofstream(dir / "veld200gSetup.dat") << parameters;
    addExamplePairs();
    ui->Button6->click();
    waitForRun();
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_TRUE(fake.calls[0].first.startsWith("Solve: Invalid floating point operation")) << fake.calls[0].first.toStdString();
    EXPECT_EQ(paneLines().back(), "       1Input: ");

    typePair(0);
    ui->Button7->click();
    const auto lines = paneLines();
    EXPECT_EQ(lines[lines.size() - 4], "       1Input: ");
    EXPECT_TRUE(lines[lines.size() - 3].starts_with(" INPUT   1.00000")) << lines[lines.size() - 3];
}

// Another run holding the working folder: Solve says so and writes nothing.
TEST_F(SolveInWindow, SolveRefusesAFolderInUseByAnotherRun)
{
    fs::copy_file(kExamples / "veld200gSetup.dat", dir / "veld200gSetup.dat");
    addExamplePairs();
    FolderLock other;
    ASSERT_TRUE(other.tryLock(dir.string()));
    ui->Button6->click();
    waitForRun();
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0].kind, "error");
    EXPECT_EQ(fake.calls[0].first, QDir::currentPath() + " is in use by another run (pid " +
                                       QString::number(::getpid()) + ")");
    EXPECT_FALSE(fs::exists(dir / "adata200.dat"));
    EXPECT_FALSE(fs::exists(dir / "vld33res.txt"));

    other.unlock();
    ui->Button6->click();
    waitForRun();
    EXPECT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(paneLines().back(), "PROGRAM DONE");
}

// Load Matrix and Predict before any Solve work on the window's shape: the
// recall comes from the loaded rows.
TEST_F(SolveInWindow, LoadAndPredictBeforeAnySolveUseTheLoadedMatrix)
{
    std::string matrix;
    for (int i = 1; i <= 9; ++i)
        for (int j = 1; j <= 8; ++j)
            matrix += (i == 3 ? " 2.0E+0004 " : " 0.0E+0000 ") + std::string(j == 8 ? "\r\n" : "");
    std::ofstream(dir / "m.vmat2") << matrix;
    fake.fileAnswer = QString::fromStdString((dir / "m.vmat2").string());
    ui->Button11->click();
    typePair(1); // A3 and A4 on: rows 3 and 4, an even parity
    ui->Button7->click();
    EXPECT_TRUE(fake.calls.size() == 1 && fake.calls[0].kind == "open");
    EXPECT_EQ(fieldTexts().mid(8), QStringList(8, "    2.000"));
}

// The error box names the file a failure concerns, or the command; the hint
// about BETA comes only with a failure while the pairs are presented.
TEST_F(SolveInWindow, ErrorBoxesSayWhichFileAndWhichStep)
{
    const std::string setup = readFile(kExamples / "veld200gSetup.dat");
    const auto withLine = [&](int line, const std::string& value) {
        std::istringstream in(setup);
        std::string out, text;
        for (int k = 1; std::getline(in, text); ++k)
            out += (k == line ? value : text) + "\n";
        return out;
    };
    const QString diverged = "\n\nThe training diverged; a smaller BETA in veld200gSetup.dat may help.";
    const struct {
        const char* what;
        std::string parameters;
        QString box;
    } cases[] = {
        {"text for a number", withLine(3, "nine"), "veld200gSetup.dat, line 3: Invalid numeric input"},
        {"UNITY 0", withLine(9, "0"), "Solve: Invalid floating point operation"},
        {"a huge BETA", withLine(6, "1e12"), "Solve: Invalid floating point operation" + diverged},
    };
    addExamplePairs();
    for (const auto& c : cases) {
        std::ofstream(dir / "veld200gSetup.dat", std::ios::trunc) << c.parameters;
        fake.calls.clear();
        ui->Button6->click();
        waitForRun();
        ASSERT_EQ(fake.calls.size(), 1u) << c.what;
        EXPECT_EQ(fake.calls[0].kind, "error") << c.what;
        EXPECT_EQ(fake.calls[0].first, c.box) << c.what;
    }

    // A missing folder is named as such.
    fake.calls.clear();
    fake.fileAnswer = QString::fromStdString((dir / "no" / "such" / "m.vmat2").string());
    ui->Button10->click();
    ui->Button11->click();
    ASSERT_EQ(fake.calls.size(), 4u);
    EXPECT_EQ(fake.calls[1].first, "Save Matrix: the folder " + QString::fromStdString((dir / "no" / "such").string()) +
                                       " does not exist");
    EXPECT_EQ(fake.calls[3].first, "Load Matrix: the folder " + QString::fromStdString((dir / "no" / "such").string()) +
                                       " does not exist");
    fake.fileAnswer = QString::fromStdString((dir / "gone.vmat2").string());
    ui->Button11->click();
    EXPECT_EQ(fake.calls.back().first, "gone.vmat2: File not found (No such file or directory)");
    EXPECT_FALSE(fs::exists(dir / "no"));

    // A matrix file of the wrong count changes nothing.
    std::ofstream(dir / "short.vmat2") << std::string(71 * 2, ' ').replace(0, 1, "1");
    const Matrix before = engine().state().wMatrix;
    fake.fileAnswer = QString::fromStdString((dir / "short.vmat2").string());
    ui->Button11->click();
    EXPECT_EQ(fake.calls.back().first, "short.vmat2: the file holds 1 number; a matrix file holds 72");
    EXPECT_TRUE(engine().state().wMatrix == before);
}

// A typed value beyond the range of a double is 0 in the list, in the job
// files and in the training, as any text that is not a number.
TEST_F(SolveInWindow, AnOutOfRangeValueIsShownAndTrainedAsZero)
{
    fs::copy_file(kExamples / "veld200gSetup.dat", dir / "veld200gSetup.dat");
    addExamplePairs(); // the last one, 1 0 0 0 0 0 0 0, is current
    dataField(0)->clear();
    testinput::type(dataField(0), QString("1") + QString(400, '0'));
    dataField(1)->clear();
    testinput::type(dataField(1), "-1e400");
    ui->Button3->click();
    ui->Button5->click();
    ui->Button4->click();
    EXPECT_EQ(fieldTexts().mid(0, 2), (QStringList{"    0.000", "    0.000"}));
    EXPECT_EQ(list().aPatterns[5][1], 0.0);
    EXPECT_EQ(list().aPatterns[5][2], 0.0);

    ui->Button6->click();

    waitForRun();
    ASSERT_TRUE(fake.calls.empty());
    std::istringstream aData(readFile(dir / "adata200.dat"));
    std::string line;
    for (int k = 0; k < 5; ++k)
        std::getline(aData, line);
    EXPECT_EQ(line, "    0.000    0.000    0.000    0.000    0.000    0.000    0.000    0.000    0.000\r");
    const std::string report = readFile(dir / "vld33res.txt");
    EXPECT_EQ(report.find("Inf"), std::string::npos);
}
