// SPDX-License-Identifier: GPL-3.0-or-later
// Lists of another shape than 8 + 8 in the window: opened, edited in the
// Pattern List window, trained by Solve to the runner's report, and read by
// Predict from the chosen pair.
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTableView>

#include <filesystem>
#include <string>

#include "core/analysis/noise.h"
#include "core/parameters/paramsfile.h"
#include "core/session/session.h"
#include "analysis/analysisrun.h"
#include "analysis/analysiswindow.h"
#include "analysis/capacitytab.h"
#include "analysis/noisetab.h"
#include "analysis/recalltab.h"
#include "analysis/sweeptab.h"
#include "controllers/listcontroller.h"
#include "form/othershapenote.h"
#include "list/patternlistwindow.h"
#include "list/patterntablemodel.h"
#include "app/settingsdialog.h"
#include "tests/core/testsupport.h"
#include "tests/gui/fixture.h"

using namespace duolink;
namespace fs = std::filesystem;

namespace {

const fs::path kExamples = fs::path(DUOLINK_TEST_DATA) / ".." / ".." / "examples";
using duolink::testing::readFile;
using duolink::testing::writeFile;
using duolink::testing::runBatch;

// `pairs` pairs of n A and m B values of 0 and 1, a different pattern each.
std::string listText(int n, int m, int pairs)
{
    std::string text;
    for (int k = 1; k <= n + m; ++k)
        text += (k > 1 ? "," : "") + (k <= n ? "a" + std::to_string(k) : "b" + std::to_string(k - n));
    text += '\n';
    for (int p = 0; p < pairs; ++p) {
        for (int k = 0; k < n + m; ++k)
            text += std::string(k > 0 ? "," : "") + ((k * 7 + p * 3) % (p + 3) == 0 ? "1" : "0");
        text += '\n';
    }
    return text;
}

class OtherShapeInWindow : public WindowInWorkFolder {
protected:
    void openList(const std::string& name, const std::string& text)
    {
        writeFile(dir / name, text);
        form->lists()->openPatternListFile(QString::fromStdString((dir / name).string()));
    }
    PatternListWindow* listWindow()
    {
        form->showPatternList();
        return form->patternListWindow();
    }
    QString cell(int row, int column) { return listWindow()->model()->index(row, column).data().toString(); }
    bool edit(int row, int column, const QString& text)
    {
        PatternTableModel* model = listWindow()->model();
        return model->setData(model->index(row, column), text);
    }
    const ShapedDocument& shaped() { return form->session().shapedList(); }
};

} // namespace

TEST_F(OtherShapeInWindow, TrainsToTheRunnersReport)
{
    // The example's BETA is too large for 33 inputs: the training would overflow.
    ParametersEdit slower;
    slower.set(Parameter::Beta, "0.1");
    const std::string parameters = editParameters(readFile(kExamples / "veld200gSetup.dat"), slower);
    writeFile(dir / "veld200gSetup.dat", parameters);
    openList("wide.csv", listText(32, 20, 6));
    ASSERT_TRUE(shaped().active());
    EXPECT_EQ(listWindow()->model()->columnCount(), 1 + 32 + 20 + 1);
    EXPECT_EQ(listWindow()->model()->headerData(33, Qt::Horizontal).toString(), "B1");

    ui->Button6->click();
    waitForRun();
    EXPECT_TRUE(fake.calls.empty()) << fake.calls.front().second.toStdString();
    // The file keeps its lengths: only the run took the list's.
    EXPECT_EQ(readFile(dir / "veld200gSetup.dat"), parameters);
    EXPECT_EQ(form->engine().state().aLen, 33);
    EXPECT_EQ(form->engine().state().bLen, 20);

    const fs::path job = dir / "runner";
    fs::create_directory(job);
    writeFile(job / "veld200gSetup.dat", parameters);
    ASSERT_EQ(runBatch("--quiet --patterns '" + (dir / "wide.csv").string() + "' '" + job.string() + "'",
                       dir / "out.txt", dir / "err.txt"),
              0)
        << readFile(dir / "err.txt");
    const std::string report = readFile(dir / "vld33res.txt");
    EXPECT_NE(report.find("33"), std::string::npos);
    EXPECT_EQ(report, readFile(job / "vld33res.txt"));
    EXPECT_EQ(readFile(dir / "adata200.dat"), readFile(job / "adata200.dat"));
    // The runner's sweep too, before the window's charts start threads of
    // their own (the sanitizer builds take no fork after them).
    ASSERT_EQ(runBatch("--quiet --patterns '" + (dir / "wide.csv").string() + "' --sweep beta=0.05,0.1 --sweep-out '" +
                           (dir / "sweep.csv").string() + "' '" + job.string() + "'",
                       dir / "out.txt", dir / "err.txt"),
              0)
        << readFile(dir / "err.txt");

    // Settings shows where the lengths come from, and keeps the file's.
    SettingsDialog settings(QString::fromStdString(dir.string()), std::nullopt);
    settings.takeLengthsFromList(32, 20);
    EXPECT_FALSE(settings.field(Parameter::ALen)->isEnabled());
    EXPECT_TRUE(settings.message(Parameter::ALen)->text().contains("33 from the pattern list"));
    EXPECT_EQ(settings.field(Parameter::ALen)->text(), "9");

    // Predict reads the chosen pair and shows the recall in the pane.
    listWindow()->table()->setCurrentIndex(listWindow()->model()->index(2, 1));
    EXPECT_EQ(shaped().currentRow, 3);
    ui->Button7->click();
    EXPECT_TRUE(fake.calls.empty());
    const auto lines = paneLines();
    ASSERT_GE(lines.size(), 3u);
    EXPECT_EQ(lines[lines.size() - 3].rfind(" INPUT ", 0), 0u);
    EXPECT_EQ(lines[lines.size() - 2].rfind(" RESULT ", 0), 0u);

    // The analyses say they do not take such a list yet, rather than test
    // the fixed list behind it.
    ui->testAllPairsAction->trigger();
    EXPECT_TRUE(form->analysisWindow()->recallTab()->analysisRun()->status().startsWith(
        "Recall takes lists of 8 + 8 values for now"));

    // A sweep takes the list as the runner's --patterns does.
    auto* sweep = form->analysisWindow()->findChild<SweepTab*>();
    ASSERT_NE(sweep, nullptr);
    sweep->findChild<QComboBox*>("sweepName1")->setCurrentText("beta");
    sweep->findChild<QLineEdit*>("sweepList1")->setText("0.05,0.1");
    QSignalSpy finished(sweep, &TrainingTab::runFinished);
    sweep->findChild<QPushButton*>("sweepRun")->click();
    ASSERT_TRUE(finished.wait(120000)) << sweep->analysisRun()->status().toStdString();
    EXPECT_EQ(sweep->csvText(), readFile(dir / "sweep.csv"));
}

TEST_F(OtherShapeInWindow, TheFieldsGiveWayToTheListWindowAndComeBack)
{
    const OtherShapeNote* note = form->findChild<OtherShapeNote*>();
    ASSERT_NE(note, nullptr);
    EXPECT_TRUE(note->isHidden());
    openList("wide.csv", listText(3, 2, 2));
    EXPECT_FALSE(note->isHidden());
    EXPECT_TRUE(note->text().contains("3 + 2 values"));
    for (int k = 0; k < 16; ++k)
        EXPECT_FALSE(dataField(k)->isEnabled()) << k;
    // The form's Add has nothing to read; Delete works on the list in use.
    ui->Button1->click();
    EXPECT_EQ(shaped().size(), 2);
    ui->Button2->click();
    EXPECT_EQ(shaped().size(), 1);

    openList("fixed.csv", "1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1\n");
    EXPECT_FALSE(shaped().active());
    EXPECT_TRUE(note->isHidden());
    for (int k = 0; k < 16; ++k)
        EXPECT_TRUE(dataField(k)->isEnabled()) << k;
    // Undo goes back to the list of the other shape, as it was.
    form->findChild<QAction*>("undoAction")->trigger();
    EXPECT_TRUE(shaped().active());
    EXPECT_EQ(shaped().size(), 1);
}

// Cells, pasted blocks and deleted pairs, on a list of each kind: every
// edit is checked as the fields read, and undone in one step.
TEST_F(OtherShapeInWindow, EditsCellsAndBlocksAndUndoesThem)
{
    struct Case {
        const char* what;
        std::string list;
        int aParityColumn;
    };
    const Case cases[] = {
        {"3 + 2", listText(3, 2, 2), 6},
        {"8 + 8", "0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0\n", 17},
    };
    QAction* undo = form->findChild<QAction*>("undoAction");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        openList("list.csv", c.list);
        const int pairs = form->lists()->pairCount();
        const QString before = cell(0, 1);

        // A text the fields would not read whole is refused, and nothing changes.
        for (const char* bad : {"0,5", "abc", "1x", "1e999"}) {
            EXPECT_FALSE(edit(0, 1, bad)) << bad;
            EXPECT_EQ(cell(0, 1), before) << bad;
        }
        // A good one sets the value and the parity; one undo takes it back.
        const QString parity = cell(0, c.aParityColumn);
        ASSERT_TRUE(edit(0, 1, before == "1.000" ? "0" : "1"));
        EXPECT_NE(cell(0, c.aParityColumn), parity);
        undo->trigger();
        EXPECT_EQ(cell(0, 1), before);

        // A block from a spreadsheet, one row past the end: the list grows.
        QApplication::clipboard()->setText("0.25\t0.5\n0.75\t1\n");
        listWindow()->table()->setCurrentIndex(listWindow()->model()->index(pairs - 1, 2));
        listWindow()->pasteBlock();
        EXPECT_EQ(form->lists()->pairCount(), pairs + 1);
        EXPECT_EQ(cell(pairs, 3), "1.000");
        listWindow()->table()->selectionModel()->select(
            QItemSelection(listWindow()->model()->index(pairs - 1, 2), listWindow()->model()->index(pairs, 3)),
            QItemSelectionModel::ClearAndSelect);
        listWindow()->copyBlock();
        EXPECT_EQ(QApplication::clipboard()->text(), "0.25\t0.5\n0.75\t1\n");
        // Too wide for the pair: refused whole.
        QApplication::clipboard()->setText(QString("1\t").repeated(40) + "1\n");
        listWindow()->pasteBlock();
        EXPECT_EQ(form->lists()->pairCount(), pairs + 1);

        listWindow()->deletePairs();
        EXPECT_EQ(form->lists()->pairCount(), pairs - 1);
        undo->trigger();
        undo->trigger();
        EXPECT_EQ(form->lists()->pairCount(), pairs);
    }
}

// The Capacity tab's shape fields: the engine's limits refuse a shape and
// name the limit; 8 + 8 runs as before.
TEST_F(OtherShapeInWindow, CapacityTakesEveryShapeTheEngineTakes)
{
    writeFile(dir / "veld200gSetup.dat", "2\n60\n9\n8\n0\n0.5\n0\n2\n10000\n0.1\n");
    ui->showAnalysisAction->trigger();
    auto* capacity = form->analysisWindow()->findChild<CapacityTab*>();
    ASSERT_NE(capacity, nullptr);
    auto* n = capacity->findChild<QSpinBox*>("capacityAValues");
    auto* m = capacity->findChild<QSpinBox*>("capacityBValues");
    ASSERT_TRUE(n && m);
    EXPECT_EQ(n->value(), 8);
    EXPECT_EQ(m->value(), 8);
    const struct {
        int n, m;
        const char* said; // the start of the status, "" for a run
    } cases[] = {
        {50, 54, "Pattern shape: pairs of 50 + 54 values need a matrix of"},
        {49, 54, ""},
        {8, 8, ""},
    };
    capacity->findChild<QSpinBox*>("capacityPairs")->setValue(1);
    capacity->findChild<QSpinBox*>("capacitySets")->setValue(1);
    for (const auto& c : cases) {
        n->setValue(c.n);
        m->setValue(c.m);
        capacity->findChild<QPushButton*>("capacityRun")->click();
        EXPECT_EQ(capacity->running(), *c.said == '\0') << c.n << " + " << c.m;
        if (*c.said)
            EXPECT_TRUE(capacity->analysisRun()->status().startsWith(c.said))
                << capacity->analysisRun()->status().toStdString();
        QTest::qWaitFor([&] { return !capacity->running(); }, 60000);
    }
}

TEST_F(OtherShapeInWindow, NoiseFlipsTheListsValuesAsTheRunnerDoes)
{
    ParametersEdit slower;
    slower.set(Parameter::Beta, "0.1");
    const std::string parameters = editParameters(readFile(kExamples / "veld200gSetup.dat"), slower);
    writeFile(dir / "veld200gSetup.dat", parameters);
    openList("mid.csv", listText(12, 3, 4));
    const fs::path job = dir / "job";
    fs::create_directories(job);
    writeFile(job / "veld200gSetup.dat", parameters);
    ASSERT_EQ(runBatch("--quiet --patterns '" + (dir / "mid.csv").string() + "' --noise '" + (dir / "noise.csv").string() +
                           "' '" + job.string() + "'",
                       dir / "out.txt", dir / "err.txt"),
              0)
        << readFile(dir / "err.txt");

    ui->Button6->click();
    waitForRun();
    ui->showAnalysisAction->trigger();
    NoiseTab* tab = form->analysisWindow()->noiseTab();
    tab->findChild<QPushButton*>("runNoiseButton")->click();
    tab->analysisRun()->wait();
    ASSERT_NE(tab->table(), nullptr);
    EXPECT_EQ(noiseTableCsv(*tab->table()), readFile(dir / "noise.csv"));
    EXPECT_EQ(tab->withinSeries()->count(), 13); // k = 0 to 12
}
