// SPDX-License-Identifier: GPL-3.0-or-later
// The Capacity and Sweep tabs of the Analysis window through their widgets:
// what they save is what the runner's --capacity and --sweep-out write for
// the same settings, and Stop (Esc) ends a run with the finished rows kept.
#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <QChartView>
#include <QChart>
#include <QLineSeries>
#include <QScatterSeries>
#include <QValueAxis>

#include <algorithm>
#include <array>
#include <cmath>
#include <filesystem>
#include <map>
#include <sstream>

#include "core/analysis/capacitysummary.h"
#include "core/analysis/jobtexts.h"
#include "core/analysis/randomsets.h"
#include "analysis/analysisrun.h"
#include "analysis/analysiswindow.h"
#include "analysis/capacitytab.h"
#include "analysis/heatmap.h"
#include "analysis/recalltab.h"
#include "analysis/sweeptab.h"
#include "tests/core/testsupport.h"
#include "tests/gui/fixture.h"

using namespace duolink;
using duolink::testing::readFile;
using duolink::testing::writeFile;
namespace fs = std::filesystem;

namespace {

class TrainingTabs : public WindowInWorkFolder {
protected:
    void SetUp() override
    {
        WindowInWorkFolder::SetUp();
        writeFile(dir / "veld200gSetup.dat", "2\n60\n9\n8\n0\n0.5\n0\n2\n10000\n0.1\n");
        writeFile(dir / "list.csv", analysis::patternListCsv(analysis::randomSet(4, 5, 1, 0.5)));
        fake.fileAnswer = QString::fromStdString((dir / "list.csv").string());
        ui->openPatternListAction->trigger();
        ui->showAnalysisAction->trigger();
        capacity = window()->findChild<CapacityTab*>();
        sweep = window()->findChild<SweepTab*>();
        ASSERT_TRUE(capacity && sweep);
    }
    AnalysisWindow* window() const { return form->analysisWindow(); }
    // Clicks Run and waits for the end; returns whether it was stopped.
    bool runTab(TrainingTab* tab, const char* runButton)
    {
        QSignalSpy finished(tab, &TrainingTab::runFinished);
        tab->findChild<QPushButton*>(runButton)->click();
        EXPECT_TRUE(finished.wait(120000));
        return finished.isEmpty() || finished.first().first().toBool();
    }
    // What the runner writes to standard output for `args` on the folder.
    std::string runner(const QStringList& args)
    {
        fs::create_directories(dir / "job");
        fs::copy_file(dir / "veld200gSetup.dat", dir / "job" / "veld200gSetup.dat",
                      fs::copy_options::overwrite_existing);
        QProcess p;
        p.start(DUOLINK_BATCH, args + QStringList{QString::fromStdString((dir / "job").string())});
        EXPECT_TRUE(p.waitForFinished(120000));
        EXPECT_EQ(p.exitCode(), 0) << p.readAllStandardError().toStdString();
        return p.readAllStandardOutput().toStdString();
    }
    // The members of a sidecar, one a line, by key (the runner's are the
    // same when the same rows are saved).
    static std::map<std::string, std::string> sidecar(const std::string& text)
    {
        std::map<std::string, std::string> members;
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);)
            if (const size_t colon = line.find("\": "); line.starts_with("  \"") && colon != std::string::npos)
                members[line.substr(3, colon - 3)] = line.substr(colon + 3, line.back() == ',' ? line.size() - colon - 4
                                                                                                 : std::string::npos);
        return members;
    }
    // The runner's sidecar for `args` (its rows to a file).
    std::map<std::string, std::string> runnerSidecar(const QStringList& args)
    {
        runner(QStringList{"--quiet"} + args);
        return sidecar(readFile(dir / "runner.csv.json"));
    }
    std::string savedCsv(TrainingTab* tab, const char* button)
    {
        fake.fileAnswer = QString::fromStdString((dir / "tab").string());
        tab->findChild<QPushButton*>(button)->click();
        return readFile(dir / "tab.csv");
    }

    CapacityTab* capacity = nullptr;
    SweepTab* sweep = nullptr;
};

} // namespace

TEST_F(TrainingTabs, CapacityTabSavesWhatTheRunnerWrites)
{
    capacity->findChild<QSpinBox*>("capacityPairs")->setValue(9);
    capacity->findChild<QSpinBox*>("capacitySets")->setValue(3);
    capacity->findChild<QDoubleSpinBox*>("capacityDensity")->setValue(0.4);
    capacity->findChild<QLineEdit*>("capacitySeed")->setText("77");
    capacity->findChild<QLineEdit*>("capacityOverrides")->setText("beta=0.1 max=40");
    EXPECT_FALSE(runTab(capacity, "capacityRun"));
    EXPECT_EQ(capacity->rowCount(), 27);
    EXPECT_TRUE(capacity->analysisRun()->status().startsWith("27 sets trained: "));
    const QStringList options = {"--capacity-pairs", "9", "--capacity-sets", "3", "--density", "0.4",
                                 "--seed", "77", "--set", "beta=0.1", "--set", "max=40"};
    EXPECT_EQ(savedCsv(capacity, "capacitySaveCsv"), runner(QStringList{"--capacity", "-"} + options));
    // Its sidecar says what the runner's says of the same rows, the window's
    // action as the command.
    std::map<std::string, std::string> saved = sidecar(readFile(dir / "tab.csv.json"));
    std::map<std::string, std::string> made =
        runnerSidecar(QStringList{"--capacity", QString::fromStdString((dir / "runner.csv").string())} + options);
    for (const char* key : {"analysis", "parameters", "seed", "density", "pairs", "sets", "shard", "outcomes"})
        EXPECT_EQ(saved[key], made[key]) << key;
    EXPECT_EQ(saved["command"], R"(["duolink", "Analysis window: Capacity: Save as CSV"])");
    EXPECT_NE(saved["inputs"], "[]");
    ASSERT_TRUE(capacity->saveChart(QString::fromStdString((dir / "capacity.png").string())));
    EXPECT_TRUE(readFile(dir / "capacity.png").starts_with("\x89PNG"));
    // A new matrix leaves the rows as they are.
    EXPECT_FALSE(capacity->hasResults());
}

TEST_F(TrainingTabs, SweepTabSavesWhatTheRunnerWritesForOneAndTwoParameters)
{
    struct Case {
        const char* second;
        const char* secondList;
        QStringList runnerSweeps;
        int cells;
    };
    const Case cases[] = {
        {"(none)", "", {"--sweep", "beta=0.3,0.05,0.1"}, 3},
        {"tol", "0.1:0.3:0.1", {"--sweep", "beta=0.3,0.05,0.1", "--sweep", "tol=0.1:0.3:0.1"}, 9},
    };
    for (const Case& c : cases) {
        sweep->findChild<QComboBox*>("sweepName1")->setCurrentText("beta");
        sweep->findChild<QLineEdit*>("sweepList1")->setText("0.3,0.05,0.1");
        sweep->findChild<QComboBox*>("sweepName2")->setCurrentText(c.second);
        sweep->findChild<QLineEdit*>("sweepList2")->setText(c.secondList);
        sweep->findChild<QComboBox*>("sweepMeasure")->setCurrentIndex(1);
        EXPECT_FALSE(runTab(sweep, "sweepRun"));
        EXPECT_EQ(sweep->rowCount(), c.cells);
        const QStringList list = {"--patterns", QString::fromStdString((dir / "list.csv").string())};
        EXPECT_EQ(savedCsv(sweep, "sweepSaveCsv"), runner(QStringList{"--sweep-out", "-"} + list + c.runnerSweeps))
            << c.cells;
        std::map<std::string, std::string> saved = sidecar(readFile(dir / "tab.csv.json"));
        std::map<std::string, std::string> made = runnerSidecar(
            QStringList{"--sweep-out", QString::fromStdString((dir / "runner.csv").string())} + list + c.runnerSweeps);
        for (const char* key : {"analysis", "parameters", "sweep", "pairs", "outcomes"})
            EXPECT_EQ(saved[key], made[key]) << key;
        ASSERT_TRUE(sweep->saveChart(QString::fromStdString((dir / "sweep.png").string())));
    }
}

TEST_F(TrainingTabs, StopEndsARunAndKeepsTheFinishedRows)
{
    capacity->findChild<QSpinBox*>("capacityPairs")->setValue(256);
    capacity->findChild<QSpinBox*>("capacitySets")->setValue(1000);
    capacity->findChild<QLineEdit*>("capacityOverrides")->setText("beta=0.1");
    QSignalSpy finished(capacity, &TrainingTab::runFinished);
    capacity->findChild<QPushButton*>("capacityRun")->click();
    EXPECT_TRUE(capacity->running());
    QTRY_VERIFY_WITH_TIMEOUT(capacity->rowCount() > 10, 60000);
    // The bar says what the runner's progress line says.
    QTRY_VERIFY_WITH_TIMEOUT(capacity->analysisRun()->progressBar()->text().contains(" rows/s, "), 10000);
    EXPECT_TRUE(capacity->analysisRun()->progressBar()->text().startsWith("rows ")) << capacity->analysisRun()->progressBar()->text().toStdString();
    EXPECT_TRUE(capacity->analysisRun()->progressBar()->text().contains(" of 256000, "));
    ui->stopAction->trigger();
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_LT(capacity->rowCount(), 256000);
    EXPECT_TRUE(capacity->analysisRun()->status().startsWith(
        QStringLiteral("Stopped: %1 of 256000 sets trained and kept: ").arg(capacity->rowCount())))
        << capacity->analysisRun()->status().toStdString();
    EXPECT_FALSE(capacity->running());
    EXPECT_TRUE(capacity->findChild<QPushButton*>("capacityRun")->isEnabled());
}

// A sweep of 100 000 quick cells: the window takes the rows in batches and
// stays live, Stop included, and keeps only what the chart needs.
TEST_F(TrainingTabs, ALargeSweepKeepsTheWindowLive)
{
    sweep->findChild<QLineEdit*>("sweepList1")->setText("0.0001:10:0.0001");
    sweep->findChild<QComboBox*>("sweepName2")->setCurrentText("(none)");
    sweep->findChild<QLineEdit*>("sweepOverrides")->setText("max=1");
    QSignalSpy finished(sweep, &TrainingTab::runFinished);
    sweep->findChild<QPushButton*>("sweepRun")->click();
    ASSERT_EQ(sweep->points().size(), 100000u);
    QElapsedTimer clock;
    clock.start();
    qint64 longestWait = 0;
    while (finished.isEmpty() && sweep->rowCount() < 20000 && clock.elapsed() < 60000) {
        const qint64 before = clock.elapsed();
        QTest::qWait(20);
        longestWait = std::max(longestWait, clock.elapsed() - before);
        EXPECT_TRUE(sweep->analysisRun()->stopButton()->isEnabled() || !finished.isEmpty());
    }
    // No batch holds the window's thread for long.
    EXPECT_LT(longestWait, 1000);
    if (finished.isEmpty()) {
        sweep->analysisRun()->stopButton()->click();
        ASSERT_TRUE(finished.wait(10000));
    }
    EXPECT_GE(sweep->rowCount(), 20000u);
    EXPECT_EQ(std::count_if(sweep->points().begin(), sweep->points().end(), [](const auto& p) { return p.trained; }),
              static_cast<long>(sweep->rowCount()));
}

TEST_F(TrainingTabs, BadInputSaysWhyAndRunsNothing)
{
    struct Case {
        std::function<void()> set;
        const char* said;
    };
    const Case cases[] = {
        {[&] { sweep->findChild<QLineEdit*>("sweepList1")->setText("0.3:0.1:0.1"); }, "stop is below start"},
        {[&] { sweep->findChild<QLineEdit*>("sweepOverrides")->setText("beta"); }, "is not NAME=VALUE"},
        {[&] {
             ui->resetListAction->trigger();
             fake.calls.clear();
         },
         "The list is empty"},
        {[&] {
             sweep->findChild<QLineEdit*>("sweepList1")->setText("0:1:0.001");
             sweep->findChild<QComboBox*>("sweepName2")->setCurrentText("tol");
             sweep->findChild<QLineEdit*>("sweepList2")->setText("0:100:0.1");
         },
         "1001 \u00d7 1001 cells is more than the 1000000 a sweep takes"},
        {[&] { fs::remove(dir / "veld200gSetup.dat"); }, "no parameters file"},
    };
    for (const Case& c : cases) {
        sweep->findChild<QLineEdit*>("sweepList1")->setText("0.1,0.2");
        sweep->findChild<QComboBox*>("sweepName2")->setCurrentText("(none)");
        sweep->findChild<QLineEdit*>("sweepOverrides")->clear();
        c.set();
        sweep->findChild<QPushButton*>("sweepRun")->click();
        EXPECT_FALSE(sweep->running());
        EXPECT_TRUE(sweep->analysisRun()->status().contains(c.said)) << sweep->analysisRun()->status().toStdString();
    }
    // The count shows before a run, and past the limit says so.
    for (const auto& [list, said] : {std::pair{"0.1:0.3:0.1", "3 cells, each one training"},
                                     {"0.1", "1 cell, one training"},
                                     {"0:1:0.0000001", "beta: more than 1000000 values"}}) {
        sweep->findChild<QLineEdit*>("sweepList1")->setText(list);
        emit sweep->findChild<QLineEdit*>("sweepList1")->editingFinished();
        EXPECT_TRUE(sweep->cellsLabel()->text().startsWith(QString::fromUtf8(said)))
            << sweep->cellsLabel()->text().toStdString();
    }
    capacity->findChild<QLineEdit*>("capacitySeed")->setText("-1");
    capacity->findChild<QPushButton*>("capacityRun")->click();
    EXPECT_FALSE(capacity->running());
    EXPECT_TRUE(capacity->analysisRun()->status().startsWith("The seed must be"));
}

namespace {

// The fields of each CSV row after the header.
std::vector<QStringList> csvRows(const std::string& text)
{
    std::vector<QStringList> rows;
    const QStringList lines = QString::fromStdString(text).split('\n', Qt::SkipEmptyParts);
    for (qsizetype k = 1; k < lines.size(); ++k)
        rows.push_back(lines[k].split(','));
    return rows;
}

QXYSeries* seriesNamed(QChartView* view, const QString& name)
{
    for (QAbstractSeries* s : view->chart()->series())
        if (s->name() == name)
            return qobject_cast<QXYSeries*>(s);
    return nullptr;
}

// Whether every label of `axis` stands on a multiple of 1, 2 or 5 times a
// power of ten (a whole one when `whole`), and a line at `top` is inside.
void expectStepAxis(const QAbstractAxis* a, bool whole, double top)
{
    const auto* axis = qobject_cast<const QValueAxis*>(a);
    ASSERT_TRUE(axis);
    EXPECT_EQ(axis->tickType(), QValueAxis::TicksDynamic);
    EXPECT_EQ(axis->tickAnchor(), 0);
    const double step = axis->tickInterval();
    const double decade = std::pow(10.0, std::floor(std::log10(step)));
    EXPECT_TRUE(QList<double>({1, 2, 5}).contains(std::round(step / decade))) << step;
    if (whole)
        EXPECT_EQ(step, std::round(step));
    EXPECT_GT(axis->max(), top);
}

} // namespace

// Each chart reads its values back from the chart's series and compares
// them with the rows the tab saves: the Capacity curve, band and counts, and
// the Sweep line, marks and heat map for every measure.
TEST_F(TrainingTabs, ChartsShowWhatTheRowsSay)
{
    capacity->findChild<QSpinBox*>("capacityPairs")->setValue(7);
    capacity->findChild<QSpinBox*>("capacitySets")->setValue(4);
    capacity->findChild<QLineEdit*>("capacityOverrides")->setText("max=30");
    EXPECT_FALSE(runTab(capacity, "capacityRun"));
    struct Size {
        long long sets = 0, recalled = 0, presentations = 0;
        std::array<int, 4> outcomes{};
    };
    std::map<int, Size> sizes;
    const QStringList outcomes = {"recalled", "limit", "error", "terminated"};
    for (const QStringList& f : csvRows(savedCsv(capacity, "capacitySaveCsv"))) {
        Size& s = sizes[f[0].toInt()];
        ++s.sets;
        s.recalled += f[6].toInt();
        s.presentations += f[3].toInt();
        ++s.outcomes[static_cast<size_t>(outcomes.indexOf(f[2]))];
    }
    QXYSeries* mean = seriesNamed(capacity->chartView(), "mean share recalled");
    QXYSeries* presentations = seriesNamed(capacity->chartView(), "mean presentations");
    ASSERT_TRUE(mean && presentations);
    ASSERT_EQ(mean->count(), 7);
    for (const auto& [n, s] : sizes) {
        const QPointF p = mean->at(n - 1);
        EXPECT_EQ(p, QPointF(n, static_cast<double>(s.recalled) / static_cast<double>(s.sets * n))) << n;
        EXPECT_EQ(presentations->at(n - 1).y(), static_cast<double>(s.presentations) / static_cast<double>(s.sets));
        const analysis::ShareInterval band = analysis::wilsonInterval(s.recalled, s.sets * n);
        EXPECT_LE(band.low, p.y());
        EXPECT_GE(band.high, p.y());
        for (int k = 0; k < 4; ++k)
            EXPECT_EQ(capacity->sizesTable()->item(n - 1, 2 + k)->text().toInt(), s.outcomes[static_cast<size_t>(k)]);
    }
    const QList<QAbstractAxis*> nAxes = capacity->chartView()->chart()->axes(Qt::Horizontal);
    expectStepAxis(nAxes.first(), true, 7);
    expectStepAxis(capacity->chartView()->chart()->axes(Qt::Vertical).first(), false, 1);

    // One parameter: values where every pair was recalled, marks elsewhere.
    sweep->findChild<QLineEdit*>("sweepList1")->setText("0.02,0.05,0.1,0.2,0.5,1.5");
    sweep->findChild<QComboBox*>("sweepName2")->setCurrentText("(none)");
    sweep->findChild<QLineEdit*>("sweepOverrides")->setText("max=40");
    EXPECT_FALSE(runTab(sweep, "sweepRun"));
    const std::vector<QStringList> cells = csvRows(savedCsv(sweep, "sweepSaveCsv"));
    const double pairs = 5;
    const char* names[] = {"presentations to recall", "share recalled", "nearest own B"};
    for (int measure = 0; measure < 3; ++measure) {
        sweep->findChild<QComboBox*>("sweepMeasure")->setCurrentIndex(measure);
        QXYSeries* line = seriesNamed(sweep->chartView(), names[measure]);
        ASSERT_TRUE(line) << measure;
        std::map<QString, QList<QPointF>> expected; // by outcome
        for (const QStringList& f : cells) {
            const double y = measure == 0 ? f[2].toDouble() : f[measure == 1 ? 5 : 6].toInt() / pairs;
            // Marks of a diverged or terminated training lie on the axis.
            const bool onAxis = f[1] == "error" || f[1] == "terminated";
            expected[f[1]].append({f[0].toDouble(), onAxis ? 0 : y});
        }
        ASSERT_TRUE(expected.count("recalled") && expected.count("limit") && expected.count("error"));
        EXPECT_EQ(line->points(), expected["recalled"]) << measure;
        for (const auto& [outcome, points] : expected) {
            if (outcome == "recalled")
                continue;
            const auto* marks = qobject_cast<QScatterSeries*>(seriesNamed(sweep->chartView(), outcome));
            ASSERT_TRUE(marks) << outcome.toStdString();
            EXPECT_EQ(marks->points(), points) << outcome.toStdString() << " " << measure;
        }
        QXYSeries* chance = seriesNamed(sweep->chartView(), "chance (1/5)");
        EXPECT_EQ(chance != nullptr, measure == 2);
        if (chance)
            EXPECT_EQ(chance->at(0).y(), 0.2);
        expectStepAxis(sweep->chartView()->chart()->axes(Qt::Horizontal).first(), false, 1.5);
    }

    // Two parameters: the heat map's cells.
    sweep->findChild<QComboBox*>("sweepName2")->setCurrentText("tol");
    sweep->findChild<QLineEdit*>("sweepList2")->setText("0.1,0.3");
    EXPECT_FALSE(runTab(sweep, "sweepRun"));
    const std::vector<QStringList> grid = csvRows(savedCsv(sweep, "sweepSaveCsv"));
    ASSERT_EQ(grid.size(), 12u);
    for (int measure = 0; measure < 3; ++measure) {
        sweep->findChild<QComboBox*>("sweepMeasure")->setCurrentIndex(measure);
        for (size_t k = 0; k < grid.size(); ++k) {
            const QStringList& f = grid[k];
            const HeatMap::Cell* cell = sweep->heatMap()->cell(static_cast<int>(k / 2), static_cast<int>(k % 2));
            ASSERT_TRUE(cell);
            EXPECT_EQ(cell->hasValue, f[2] == "recalled" || (f[2] == "limit" && measure > 0)) << k;
            if (f[2] != "recalled")
                EXPECT_EQ(cell->mark, f[2]);
            if (cell->hasValue)
                EXPECT_EQ(cell->value, measure == 0 ? f[3].toDouble() : f[measure == 1 ? 6 : 7].toInt() / pairs);
        }
    }
}

// Recall and Noise use the window's TOL, which before any Solve is the one
// the next would read; Capacity and Sweep say which TOL their runs use.
TEST_F(TrainingTabs, EachTabShowsTheTolItUses)
{
    EXPECT_EQ(window()->tolField()->text(), "0.1");
    EXPECT_EQ(window()->tolSource()->text(), "from veld200gSetup.dat");
    window()->tabs()->setCurrentWidget(capacity);
    EXPECT_FALSE(window()->tolBar()->isVisibleTo(window()));
    EXPECT_EQ(capacity->findChild<QLabel*>("capacityTol")->text(), "TOL 0.1, from veld200gSetup.dat");
    capacity->findChild<QSpinBox*>("capacityPairs")->setValue(2);
    capacity->findChild<QSpinBox*>("capacitySets")->setValue(1);
    capacity->findChild<QLineEdit*>("capacityOverrides")->setText("tol=0.3");
    EXPECT_FALSE(runTab(capacity, "capacityRun"));
    EXPECT_EQ(capacity->findChild<QLabel*>("capacityTol")->text(), "TOL 0.3, set in Parameter changes");
    EXPECT_EQ(capacity->chartView()->chart()->title(), "Share of pairs recalled within TOL 0.3");
    sweep->findChild<QLineEdit*>("sweepList1")->setText("0.1");
    EXPECT_FALSE(runTab(sweep, "sweepRun"));
    EXPECT_EQ(sweep->findChild<QLabel*>("sweepTol")->text(), "TOL 0.1, from veld200gSetup.dat");
    window()->tabs()->setCurrentWidget(window()->recallTab());
    EXPECT_TRUE(window()->tolBar()->isVisibleTo(window()));
}
