// The Capacity and Sweep tabs through their widgets: what they save is what
// the runner's --capacity and --sweep-out write for the same settings, and
// Esc stops a run with the finished rows kept.
#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>

#include "core/analysis/jobtexts.h"
#include "core/analysis/randomsets.h"
#include "core/patternlist.h"
#include "core/patterns.h"
#include "gui/analysis/analysisjob.h"
#include "gui/analysis/analysiswindow.h"
#include "gui/analysis/capacitytab.h"
#include "gui/analysis/sweeptab.h"

namespace duolink {
namespace {

std::string slurp(const QString& path)
{
    std::ifstream in(path.toStdString(), std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

class AnalysisWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        window.setSource({[this] { return dir.path(); }, [this] { return store.pairs(); }});
        std::ofstream(dir.filePath(QStringLiteral("veld200gSetup.dat")).toStdString())
            << "2\n60\n9\n8\n0\n0.5\n0\n2\n10000\n0.1\n";
        list = analysis::randomSet(4, 5, 1, 0.5);
        store.loadPatternList(list);
    }
    // Clicks Run and waits for the end; returns whether it was stopped.
    template <class Tab>
    bool runTab(Tab* tab, const char* runButton)
    {
        QSignalSpy finished(tab, &Tab::runFinished);
        QTest::mouseClick(tab->template findChild<QPushButton*>(runButton), Qt::LeftButton);
        EXPECT_TRUE(finished.wait(120000));
        return finished.isEmpty() ? false : finished.first().first().toBool();
    }
    int runner(const QString& args)
    {
        const QString command = QStringLiteral("'%1' %2 '%3' > /dev/null").arg(DUOLINK_BATCH, args, dir.path());
        return std::system(command.toLocal8Bit().constData());
    }

    QTemporaryDir dir;
    PatternPairs list;
    PatternList store;
    AnalysisWindow window;
};

TEST_F(AnalysisWindowTest, CapacityTabSavesWhatTheRunnerWrites)
{
    CapacityTab* tab = window.capacityTab();
    tab->findChild<QSpinBox*>("capacityPairs")->setValue(9);
    tab->findChild<QSpinBox*>("capacitySets")->setValue(3);
    tab->findChild<QDoubleSpinBox*>("capacityDensity")->setValue(0.4);
    tab->findChild<QLineEdit*>("capacitySeed")->setText("77");
    tab->findChild<QLineEdit*>("capacityOverrides")->setText("beta=0.1 max=40");
    EXPECT_FALSE(runTab(tab, "capacityRun"));
    EXPECT_EQ(tab->rows().size(), 27);
    const QString mine = dir.filePath("tab.csv"), theirs = dir.filePath("runner.csv");
    ASSERT_TRUE(tab->saveCsv(mine));
    ASSERT_EQ(runner("--capacity '" + theirs +
                     "' --capacity-pairs 9 --capacity-sets 3 --density 0.4 --seed 77 --set beta=0.1 --set max=40"),
              0);
    EXPECT_EQ(slurp(mine), slurp(theirs));
    ASSERT_TRUE(tab->savePng(dir.filePath("capacity.png")));
    EXPECT_TRUE(slurp(dir.filePath("capacity.png")).starts_with("\x89PNG"));
}

TEST_F(AnalysisWindowTest, SweepTabSavesWhatTheRunnerWritesForOneAndTwoParameters)
{
    std::ofstream(dir.filePath("list.csv").toStdString()) << analysis::patternListCsv(list);
    SweepTab* tab = window.sweepTab();
    struct Case {
        const char* second;
        const char* secondList;
        const char* runnerSweeps;
        int cells;
    };
    const Case cases[] = {
        {"(none)", "", "--sweep beta=0.3,0.05,0.1", 3},
        {"tol", "0.1:0.3:0.1", "--sweep beta=0.3,0.05,0.1 --sweep tol=0.1:0.3:0.1", 9},
    };
    for (const Case& c : cases) {
        tab->findChild<QComboBox*>("sweepName1")->setCurrentText("beta");
        tab->findChild<QLineEdit*>("sweepList1")->setText("0.3,0.05,0.1");
        tab->findChild<QComboBox*>("sweepName2")->setCurrentText(c.second);
        tab->findChild<QLineEdit*>("sweepList2")->setText(c.secondList);
        tab->findChild<QComboBox*>("sweepMeasure")->setCurrentIndex(1);
        EXPECT_FALSE(runTab(tab, "sweepRun"));
        EXPECT_EQ(tab->rows().size(), c.cells);
        const QString mine = dir.filePath("tab.csv"), theirs = dir.filePath("runner.csv");
        ASSERT_TRUE(tab->saveCsv(mine));
        ASSERT_EQ(runner(QStringLiteral("--sweep-out '%1' --patterns '%2' %3")
                             .arg(theirs, dir.filePath("list.csv"), c.runnerSweeps)),
                  0);
        EXPECT_EQ(slurp(mine), slurp(theirs)) << c.runnerSweeps;
        ASSERT_TRUE(tab->savePng(dir.filePath("sweep.png")));
    }
}

TEST_F(AnalysisWindowTest, EscStopsARunAndKeepsTheFinishedRows)
{
    CapacityTab* tab = window.capacityTab();
    window.show();
    tab->findChild<QSpinBox*>("capacityPairs")->setValue(256);
    tab->findChild<QSpinBox*>("capacitySets")->setValue(1000);
    tab->findChild<QLineEdit*>("capacityOverrides")->setText("beta=0.1");
    QSignalSpy finished(tab, &CapacityTab::runFinished);
    QTest::mouseClick(tab->findChild<QPushButton*>("capacityRun"), Qt::LeftButton);
    EXPECT_TRUE(tab->running());
    QTRY_VERIFY_WITH_TIMEOUT(tab->rows().size() > 10, 60000);
    QTest::keyClick(tab, Qt::Key_Escape);
    ASSERT_TRUE(finished.wait(60000));
    EXPECT_TRUE(finished.first().first().toBool());
    EXPECT_LT(tab->rows().size(), 256000);
    EXPECT_FALSE(tab->running());
    EXPECT_TRUE(tab->findChild<QPushButton*>("capacityRun")->isEnabled());
}

TEST_F(AnalysisWindowTest, ASweepOfAnEmptyListOrABadListSaysWhy)
{
    store.listReset();
    SweepTab* tab = window.sweepTab();
    QTest::mouseClick(tab->findChild<QPushButton*>("sweepRun"), Qt::LeftButton);
    EXPECT_FALSE(tab->running());
    EXPECT_TRUE(tab->findChild<QLabel*>("sweepStatus")->text().contains("empty"));
    store.loadPatternList(list);
    tab->findChild<QLineEdit*>("sweepList1")->setText("0.3:0.1:0.1");
    QTest::mouseClick(tab->findChild<QPushButton*>("sweepRun"), Qt::LeftButton);
    EXPECT_FALSE(tab->running());
    EXPECT_TRUE(tab->findChild<QLabel*>("sweepStatus")->text().contains("stop is below start"));
}

} // namespace
} // namespace duolink
