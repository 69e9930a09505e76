// SPDX-License-Identifier: GPL-3.0-or-later
// The Analysis window through its real widgets, on the real engine: the
// Recall and Noise tabs after a Solve of the example list.
#include <QAction>
#include <QChart>
#include <QChartView>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QLineSeries>
#include <QProcess>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QTabWidget>
#include <QTableView>
#include <QValueAxis>

#include <cmath>
#include <cstring>
#include <filesystem>

#include "core/analysis/jobtexts.h"
#include "core/analysis/noise.h"
#include "core/analysis/provenance.h"
#include "core/analysis/recalltable.h"
#include "analysis/analysisrun.h"
#include "analysis/analysiswindow.h"
#include "analysis/noisetab.h"
#include "analysis/recalltab.h"
#include "analysis/recalltablemodel.h"
#include "tests/core/testsupport.h"
#include "tests/gui/fixture.h"

using namespace duolink;
using duolink::testing::readFile;
using duolink::testing::writeFile;
namespace fs = std::filesystem;

namespace {

const fs::path kExamples = fs::path(DUOLINK_TEST_DATA) / ".." / ".." / "examples";

class AnalysisInWindow : public WindowInWorkFolder {
protected:
    // Opens the pattern list `list` and solves it with the example parameters.
    void solve(const fs::path& list)
    {
        fs::copy_file(kExamples / "veld200gSetup.dat", dir / "veld200gSetup.dat",
                      fs::copy_options::overwrite_existing);
        fake.fileAnswer = QString::fromStdString(list.string());
        ui->openPatternListAction->trigger();
        ui->solveAction->trigger();
        waitForRun();
        ASSERT_FALSE(form->isRunning());
        fake.calls.clear();
    }
    // The runner's file for the same list and parameters.
    std::string runnerOutput(const fs::path& list, const QStringList& step)
    {
        const fs::path job = dir / "runner";
        fs::create_directories(job);
        fs::copy_file(kExamples / "veld200gSetup.dat", job / "veld200gSetup.dat",
                      fs::copy_options::overwrite_existing);
        QProcess runner;
        runner.start(DUOLINK_BATCH, QStringList{"--quiet", "--patterns", QString::fromStdString(list.string())} + step +
                                        QStringList{QString::fromStdString((dir / "runner.csv").string()),
                                                    QString::fromStdString(job.string())});
        EXPECT_TRUE(runner.waitForFinished(30000));
        EXPECT_EQ(runner.exitCode(), 0) << runner.readAllStandardError().toStdString();
        return readFile(dir / "runner.csv");
    }
    AnalysisWindow* window() const { return form->analysisWindow(); }
    void setTol(const QString& text)
    {
        window()->tolField()->setText(text);
        emit window()->tolField()->editingFinished();
    }
};

} // namespace

TEST_F(AnalysisInWindow, TestAllPairsFillsTheRecallTabAndChangesNothingElse)
{
    // Before any matrix the tab says what to do first.
    ui->testAllPairsAction->trigger();
    ASSERT_NE(window(), nullptr);
    RecallTab* tab = window()->recallTab();
    EXPECT_EQ(window()->tabs()->currentWidget(), tab);
    EXPECT_EQ(tab->analysisRun()->status(), "There is no matrix yet: Solve or Load Matrix first.");

    const fs::path list = kExamples / "patterns.csv";
    solve(list);
    EXPECT_EQ(window()->tolField()->text(), "0.1");
    for (int k = 11; k <= 18; ++k)
        form->findChild<QLineEdit*>(QStringLiteral("Edit%1").arg(k))->setText("7");
    const QStringList fields = fieldTexts();
    const qsizetype paneLines = ui->Memo1->lineCount();
    const Matrix w = engine().state().wMatrix;
    const Vector calc = engine().state().calcVector;
    const int unityBefore = engine().state().unity;

    ui->testAllPairsAction->trigger();
    tab->analysisRun()->wait();
    EXPECT_EQ(tab->summary()->text(), "5 of 5 pairs recalled within TOL 0.1; 5 of 5 nearest to their own B");
    ASSERT_EQ(tab->proxy()->rowCount(), 5);
    const auto cell = [&](int row, int column, int role = Qt::DisplayRole) {
        return tab->proxy()->index(row, column).data(role);
    };
    EXPECT_EQ(cell(0, RecallTableModel::kFirstR + 6).toString(), "1.000");
    EXPECT_EQ(cell(4, RecallTableModel::kFirstR + 7).toString(), "1.055");
    EXPECT_EQ(fieldTexts(), fields);
    EXPECT_EQ(ui->Memo1->lineCount(), paneLines);
    EXPECT_EQ(engine().state().wMatrix, w);
    EXPECT_EQ(engine().state().calcVector, calc);
    EXPECT_EQ(engine().state().unity, unityBefore);

    // A tighter TOL: pair 5 misses, its cells outside TOL are marked.
    setTol("0.01");
    tab->analysisRun()->wait();
    EXPECT_EQ(tab->summary()->text(), "4 of 5 pairs recalled within TOL 0.01; 5 of 5 nearest to their own B");
    EXPECT_TRUE(cell(4, RecallTableModel::kFirstR + 7, Qt::BackgroundRole).isValid());
    EXPECT_FALSE(cell(4, RecallTableModel::kFirstR + 0, Qt::BackgroundRole).isValid());
    EXPECT_EQ(cell(4, RecallTableModel::kRecalled).toString(), "no");

    // Sorted by the largest error, the worst pair comes first; choosing it
    // browses to it in the main window.
    tab->view()->sortByColumn(RecallTableModel::kMaxError, Qt::DescendingOrder);
    EXPECT_EQ(cell(0, RecallTableModel::kPair).toInt(), 5);
    tab->view()->selectRow(0);
    EXPECT_EQ(form->patternList().currentIndex, 5);
    EXPECT_EQ(dataField(0)->text(), "    1.000");

    // The CSV is the runner's, byte for byte.
    setTol("0.1");
    tab->analysisRun()->wait();
    fake.fileAnswer = QString::fromStdString((dir / "recall").string());
    tab->saveCsvButton()->click();
    EXPECT_EQ(readFile(dir / "recall.csv"), runnerOutput(list, {"--recall-table"}));
    // Beside it, what made it: the window's action, TOL, the list's digest.
    const std::string json = readFile(dir / "recall.csv.json");
    for (const std::string& entry : std::vector<std::string>{R"("command": ["duolink", "Analysis window: Recall: Save as CSV"])",
                                    R"("analysis": "recall-table")", R"("tol": 0.1)", R"("rows": 5)",
                                    R"("patterns_sha256": ")" + analysis::sha256Hex(analysis::patternListCsv(form->patternList().pairs()))})
        EXPECT_NE(json.find(entry), std::string::npos) << entry << "\n" << json;

    // A bad TOL is said and keeps the table.
    setTol("abc");
    EXPECT_EQ(tab->analysisRun()->status(), "TOL must be a number of 0 or more, such as 0.1.");
    EXPECT_EQ(tab->proxy()->rowCount(), 5);
}

namespace {

// Every plotted point is its row's share, and the share axis shows a line
// at 100 % inside its frame with 1-2-5 steps.
void expectChartShowsTable(const NoiseTab& tab)
{
    const NoiseTable& table = *tab.table();
    for (size_t k = 0; k < table.rows.size(); ++k) {
        const NoiseRow& row = table.rows[k];
        const QPointF within = tab.withinSeries()->at(static_cast<qsizetype>(k));
        const QPointF own = tab.ownSeries()->at(static_cast<qsizetype>(k));
        EXPECT_EQ(within.x(), row.level);
        EXPECT_DOUBLE_EQ(within.y(), 100.0 * static_cast<double>(row.withinTol) / static_cast<double>(row.recalls));
        EXPECT_EQ(own.x(), row.level);
        EXPECT_DOUBLE_EQ(own.y(), 100.0 * static_cast<double>(row.nearestOwn) / static_cast<double>(row.recalls));
    }
    const auto* shareAxis = qobject_cast<QValueAxis*>(tab.chartView()->chart()->axes(Qt::Vertical).first());
    EXPECT_EQ(shareAxis->min(), 0);
    EXPECT_GT(shareAxis->max(), 100);
    EXPECT_EQ(shareAxis->tickInterval(), 20);
    const auto* levelAxis = qobject_cast<QValueAxis*>(tab.chartView()->chart()->axes(Qt::Horizontal).first());
    EXPECT_EQ(levelAxis->tickType(), QValueAxis::TicksDynamic);
    const double step = levelAxis->tickInterval();
    const double decade = std::pow(10.0, std::floor(std::log10(step)));
    EXPECT_TRUE(QList<double>({1, 2, 5}).contains(std::round(step / decade))) << step;
}

} // namespace

TEST_F(AnalysisInWindow, NoiseTabChartsFlipsAndGaussianNoiseAndStops)
{
    // The runner's tables first, while this process has no threads but its
    // own: the sanitizer builds allow no fork after the chart's image threads.
    const fs::path binary = kExamples / "patterns.csv";
    const fs::path real = dir / "real.csv";
    writeFile(real, "0.9,0.1,0,0,0,0,0,0.2,0,0,0,0,0,0,1,1\n0,0,1,0.8,0,0,0.1,0,1,1,0,0,0,0,0,0\n");
    const std::string flipCsv = runnerOutput(binary, {"--noise"});
    const std::string gaussCsv = runnerOutput(real, {"--noise-trials", "30", "--seed", "42", "--noise"});

    solve(binary);
    ui->showAnalysisAction->trigger();
    NoiseTab* tab = window()->noiseTab();
    window()->tabs()->setCurrentWidget(tab);
    tab->findChild<QPushButton*>("runNoiseButton")->click();
    tab->analysisRun()->wait();
    ASSERT_NE(tab->table(), nullptr);
    EXPECT_EQ(tab->table()->mode, NoiseMode::Flip);
    ASSERT_EQ(tab->withinSeries()->count(), 9);
    EXPECT_EQ(tab->withinSeries()->at(0), QPointF(0, 100));
    EXPECT_EQ(tab->ownSeries()->at(8), QPointF(8, 0));
    expectChartShowsTable(*tab);

    fake.fileAnswer = QString::fromStdString((dir / "noise.csv").string());
    tab->findChild<QPushButton*>("saveNoiseCsvButton")->click();
    EXPECT_EQ(readFile(dir / "noise.csv"), flipCsv);
    for (const char* entry : {R"("analysis": "noise")", R"("trials": )", R"("rows": 9)"})
        EXPECT_NE(readFile(dir / "noise.csv.json").find(entry), std::string::npos) << entry;
    fake.fileAnswer = QString::fromStdString((dir / "noise-chart").string());
    tab->findChild<QPushButton*>("saveNoiseChartButton")->click();
    EXPECT_FALSE(QImage(QString::fromStdString((dir / "noise-chart.png").string())).isNull());

    // Another list with values other than 0 and 1, solved: the tab follows
    // the new matrix with Gaussian noise, as the runner computes it.
    tab->trialsField()->setValue(30);
    tab->seedField()->setText("42");
    solve(real);
    tab->analysisRun()->wait();
    ASSERT_NE(tab->table(), nullptr);
    EXPECT_EQ(tab->table()->mode, NoiseMode::Gauss);
    EXPECT_EQ(tab->withinSeries()->count(), 6);
    EXPECT_EQ(noiseTableCsv(*tab->table()), gaussCsv);
    expectChartShowsTable(*tab);

    // Esc stops a long run; the table shown stays.
    const std::string before = noiseTableCsv(*tab->table());
    tab->trialsField()->setValue(1000000);
    tab->findChild<QPushButton*>("runNoiseButton")->click();
    EXPECT_TRUE(tab->analysisRun()->isRunning());
    ui->stopAction->trigger();
    tab->analysisRun()->wait();
    EXPECT_FALSE(tab->analysisRun()->isRunning());
    EXPECT_EQ(tab->analysisRun()->status(), "Stopped. The table shows the last complete run.");
    EXPECT_EQ(noiseTableCsv(*tab->table()), before);
}

// Save and Load Matrix keep two digits; Export and Import Matrix give the
// trained matrix back bit for bit, and with it the same recalls.
TEST_F(AnalysisInWindow, ExportAndImportMatrixKeepTheMatrixExactly)
{
    solve(kExamples / "patterns.csv");
    const Matrix trained = engine().state().wMatrix;
    ui->testAllPairsAction->trigger();
    window()->recallTab()->analysisRun()->wait();
    const std::string recalls = recallTableCsv(*window()->recallTab()->model()->table());

    auto* exportAction = form->findChild<QAction*>("exportMatrixAction");
    auto* importAction = form->findChild<QAction*>("importMatrixAction");
    ASSERT_TRUE(exportAction && importAction);
    EXPECT_TRUE(form->findChild<QAction*>("saveMatrixAction")->toolTip().contains("two significant digits"));
    fake.fileAnswer = QString::fromStdString((dir / "exact").string());
    exportAction->trigger();
    EXPECT_TRUE(fs::exists(dir / "exact.csv.json"));
    fake.fileAnswer = QString::fromStdString((dir / "rounded.vmat2").string());
    ui->saveMatrixAction->trigger();
    ui->loadMatrixAction->trigger();
    EXPECT_NE(engine().state().wMatrix, trained);

    fake.fileAnswer = QString::fromStdString((dir / "exact.csv").string());
    importAction->trigger();
    EXPECT_EQ(std::memcmp(engine().state().wMatrix.data(), trained.data(), sizeof trained), 0);
    ui->testAllPairsAction->trigger();
    window()->recallTab()->analysisRun()->wait();
    EXPECT_EQ(recallTableCsv(*window()->recallTab()->model()->table()), recalls);
}
