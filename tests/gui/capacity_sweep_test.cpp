// The Capacity and Sweep tabs of the Analysis window through their widgets:
// what they save is what the runner's --capacity and --sweep-out write for
// the same settings, and Stop (Esc) ends a run with the finished rows kept.
#include <QAction>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTest>

#include <filesystem>

#include "core/analysis/jobtexts.h"
#include "core/analysis/randomsets.h"
#include "gui/analysisrun.h"
#include "gui/analysiswindow.h"
#include "gui/capacitytab.h"
#include "gui/sweeptab.h"
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
        form->openPatternListAction->trigger();
        form->showAnalysisAction->trigger();
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
    EXPECT_EQ(capacity->rows().size(), 27);
    EXPECT_EQ(capacity->analysisRun()->status(), "27 sets trained.");
    EXPECT_EQ(savedCsv(capacity, "capacitySaveCsv"),
              runner({"--capacity", "-", "--capacity-pairs", "9", "--capacity-sets", "3", "--density", "0.4",
                      "--seed", "77", "--set", "beta=0.1", "--set", "max=40"}));
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
        EXPECT_EQ(sweep->rows().size(), c.cells);
        EXPECT_EQ(savedCsv(sweep, "sweepSaveCsv"),
                  runner(QStringList{"--sweep-out", "-", "--patterns", QString::fromStdString((dir / "list.csv").string())} +
                         c.runnerSweeps))
            << c.cells;
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
    QTRY_VERIFY_WITH_TIMEOUT(capacity->rows().size() > 10, 60000);
    form->stopAction->trigger();
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_LT(capacity->rows().size(), 256000);
    EXPECT_TRUE(capacity->analysisRun()->status().startsWith("Stopped: "));
    EXPECT_FALSE(capacity->running());
    EXPECT_TRUE(capacity->findChild<QPushButton*>("capacityRun")->isEnabled());
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
             form->resetListAction->trigger();
             fake.calls.clear();
         },
         "The list is empty"},
        {[&] { fs::remove(dir / "veld200gSetup.dat"); }, "no parameters file"},
    };
    for (const Case& c : cases) {
        sweep->findChild<QLineEdit*>("sweepList1")->setText("0.1,0.2");
        sweep->findChild<QLineEdit*>("sweepOverrides")->clear();
        c.set();
        sweep->findChild<QPushButton*>("sweepRun")->click();
        EXPECT_FALSE(sweep->running());
        EXPECT_TRUE(sweep->analysisRun()->status().contains(c.said)) << sweep->analysisRun()->status().toStdString();
    }
    capacity->findChild<QLineEdit*>("capacitySeed")->setText("-1");
    capacity->findChild<QPushButton*>("capacityRun")->click();
    EXPECT_FALSE(capacity->running());
    EXPECT_TRUE(capacity->analysisRun()->status().startsWith("The seed must be"));
}
