// SPDX-License-Identifier: GPL-3.0-or-later
// The training window on real Solves in the real window: the chart against
// the pane, the weight map against the matrix, the export against the
// headless runner's --stats file, and the pane and report bytes with the
// window open against the runner's, which runs without an observer.
#include <QAction>
#include <QApplication>
#include <QChart>
#include <QChartView>
#include <QDir>
#include <QImage>
#include <QLabel>
#include <QLineSeries>
#include <QCategoryAxis>
#include <QLogValueAxis>
#include <QPushButton>
#include <QTemporaryDir>
#include <QValueAxis>

#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "core/support/numtext.h"
#include "pane/consoleview.h"
#include "training/trainingwindow.h"
#include "training/weightmapview.h"
#include "tests/core/testsupport.h"
#include "tests/gui/fixture.h"

using namespace duolink;
using duolink::testing::readFile;
namespace fs = std::filesystem;

namespace {

const fs::path kExamples = fs::path(DUOLINK_TEST_DATA) / ".." / ".." / "examples";

// The example job, A and B values of each pair.
const char* const kPairs[5] = {
    "1 1 0 0 0 0 0 0 0 0 0 0 0 0 1 1", "0 0 1 1 0 0 0 0 0 0 0 0 1 1 0 0", "0 0 0 0 1 1 0 0 0 0 1 1 0 0 0 0",
    "0 0 0 0 0 0 1 1 1 1 0 0 0 0 0 0", "1 0 0 0 0 0 0 0 0 0 0 0 0 0 0 1",
};

class TrainingView : public WindowInWorkFolder {
protected:
    void SetUp() override
    {
        WindowInWorkFolder::SetUp();
        fs::copy_file(kExamples / "veld200gSetup.dat", dir / "veld200gSetup.dat");
        for (const char* pair : kPairs) {
            const QStringList values = QString::fromLatin1(pair).split(' ');
            for (int f = 0; f < 16; ++f)
                dataField(f)->setText(values[f]);
            ui->Button1->click();
        }
        ui->showTrainingAction->trigger();
        training = form->trainingWindow();
        ASSERT_NE(training, nullptr);
        ASSERT_TRUE(training->isVisible());
    }
    void setMaxPresentations(int n)
    {
        std::string text = readFile(kExamples / "veld200gSetup.dat");
        const size_t line2 = text.find('\n') + 1;
        text.replace(line2, text.find_first_of(" \t\r\n", line2) - line2, std::to_string(n));
        std::ofstream(dir / "veld200gSetup.dat", std::ios::binary) << text;
    }
    void solve()
    {
        ui->Button6->click();
        waitForRun();
        ASSERT_TRUE(fake.calls.empty()) << fake.calls.front().first.toStdString();
        training->refresh();
    }
    std::vector<std::string> paneLines() const
    {
        std::vector<std::string> out;
        for (qsizetype i = 0; i < ui->Memo1->lineCount(); ++i)
            out.emplace_back(ui->Memo1->lineView(i));
        return out;
    }
    // Missed pairs per presentation, counted in the pane's lines of the last Solve.
    std::vector<double> missedInPane() const
    {
        std::vector<double> missed;
        int errors = 0;
        const auto lines = paneLines();
        const auto start = std::find(lines.rbegin(), lines.rend(), "VLD33- Matrona 2.2").base();
        for (auto it = start; it != lines.end(); ++it) {
            if (it->starts_with(" Error ="))
                ++errors;
            if (it->starts_with("*** Flag2")) {
                missed.push_back(errors);
                errors = 0;
            }
        }
        return missed;
    }
    static std::vector<double> ys(QLineSeries* series)
    {
        std::vector<double> out;
        for (const QPointF& p : series->points())
            out.push_back(p.y());
        return out;
    }

    TrainingWindow* training = nullptr;
};

} // namespace

// Two Solves in a row: the second replaces the first, and the R2 axis turns
// logarithmic only for the run whose values span more than two decades.
TEST_F(TrainingView, ChartFollowsEachSolveAndItsScale)
{
    solve();
    const auto missed = missedInPane();
    ASSERT_EQ(missed.size(), 5u);
    EXPECT_EQ(ys(training->missedSeries()), missed);
    const auto r2 = ys(training->r2Series());
    ASSERT_EQ(r2.size(), 5u);
    EXPECT_EQ(realTextWD(r2.back(), 9, 3), ui->Edit2->text().toStdString());
    EXPECT_GT(*std::max_element(r2.begin(), r2.end()) / *std::min_element(r2.begin(), r2.end()), 100);
    EXPECT_TRUE(training->r2OnLogScale());
    EXPECT_TRUE(training->r2LogLabels()->isVisible());
    EXPECT_FALSE(training->r2LinearAxis()->isVisible());
    EXPECT_TRUE(training->r2Series()->attachedAxes().contains(training->r2LogAxis()));
    EXPECT_TRUE(training->r2LogLabels()->titleText().contains("log"));
    EXPECT_LE(training->r2LogAxis()->min(), *std::min_element(r2.begin(), r2.end()));
    EXPECT_GE(training->r2LogAxis()->max(), r2.front());
    EXPECT_EQ(training->presentationAxis()->max(), 5);
    EXPECT_EQ(training->missedAxis()->max(), 5);
    EXPECT_TRUE(training->summaryLabel()->text().startsWith("Every pair recalled after 5 presentations: final R2 1, "
                                                            "0 pairs missed in the last presentation; time "))
        << training->summaryLabel()->text().toStdString();

    // Hovering the plot at presentation 3 shows its values.
    QChart* chart = training->chart();
    const QPointF at = chart->mapToPosition(QPointF(3, 1), training->missedSeries());
    const QPoint viewPos = training->chartView()->mapFromScene(chart->mapToScene(at));
    testinput::mouse(training->chartView()->viewport(), QEvent::MouseMove, viewPos, Qt::NoButton, Qt::NoButton);
    EXPECT_TRUE(training->pointLabel()->text().startsWith(
        QStringLiteral("Presentation 3: R2 %1, %2 pairs missed, ").arg(QLocale::c().toString(r2[2], 'g', 6)).arg(missed[2])))
        << training->pointLabel()->text().toStdString();

    // One presentation only: a single R2 value, on the linear axis.
    setMaxPresentations(1);
    solve();
    EXPECT_EQ(ys(training->r2Series()), std::vector<double>{r2.front()});
    EXPECT_EQ(ys(training->missedSeries()), std::vector<double>{missed.front()});
    EXPECT_FALSE(training->r2OnLogScale());
    EXPECT_TRUE(training->r2LinearAxis()->isVisible());
    EXPECT_FALSE(training->r2LogLabels()->isVisible());
    EXPECT_TRUE(training->r2Series()->attachedAxes().contains(training->r2LinearAxis()));
    EXPECT_GE(training->r2LinearAxis()->max(), r2.front());
    EXPECT_TRUE(training->summaryLabel()->text().startsWith("Presentation limit reached after 1 presentation: "))
        << training->summaryLabel()->text().toStdString();
    EXPECT_TRUE(training->pointLabel()->text().isEmpty());
}

// The map shows the trained matrix in real units, then the loaded one.
TEST_F(TrainingView, WeightMapShowsTheMatrixAfterSolveAndAfterLoad)
{
    solve();
    WeightMapView* map = training->weightMap();
    ASSERT_EQ(map->map().rows, 9);
    ASSERT_EQ(map->map().cols, 8);
    for (int i = 1; i <= 9; ++i)
        for (int j = 1; j <= 8; ++j)
            EXPECT_EQ(map->map().at(i - 1, j - 1), engine().state().wMatrix[engine().cellIndex(i, j)] / 10000);
    EXPECT_EQ(map->rowLabel(0), "A1");
    EXPECT_EQ(map->rowLabel(8), "parity");
    EXPECT_EQ(map->columnLabel(7), "B8");

    std::ofstream file(dir / "m.vmat2", std::ios::binary);
    for (int i = 1; i <= 9; ++i) {
        for (int j = 1; j <= 8; ++j)
            file << ' ' << (i * 10 + j) * (i % 2 ? 100 : -100) << ' ';
        file << "\r\n";
    }
    file.close();
    fake.fileAnswer = QString::fromStdString((dir / "m.vmat2").string());
    ui->Button11->click();
    ASSERT_EQ(fake.calls.size(), 1u);
    training->refresh();
    for (int i = 1; i <= 9; ++i)
        for (int j = 1; j <= 8; ++j)
            EXPECT_DOUBLE_EQ(map->map().at(i - 1, j - 1), (i * 10 + j) * (i % 2 ? 0.01 : -0.01));
    EXPECT_EQ(map->limit(), 0.98);
    EXPECT_EQ(map->colourOf(0), QColor(Qt::white));

    // Selecting a cell shows its value; so does hovering one.
    QLabel shown;
    QObject::connect(map, &WeightMapView::cellShown, &shown, &QLabel::setText);
    map->select(2, 4);
    EXPECT_EQ(shown.text(), "A3, B5: 0.35");
    const QPoint inGrid(map->width() / 2, map->height() / 3);
    const auto cell = map->cellAt(inGrid);
    ASSERT_TRUE(cell.has_value());
    testinput::mouse(map, QEvent::MouseMove, inGrid, Qt::NoButton, Qt::NoButton);
    EXPECT_EQ(shown.text(), map->cellText(cell->first, cell->second));
}

// With the window open, the pane and the report are byte for byte what the
// runner writes without any observer, and the saved statistics are its
// --stats file.
TEST_F(TrainingView, KeepsPaneAndReportAndExportsWhatTheRunnerWrites)
{
    const fs::path job = dir / "demo";
    fs::copy(kExamples / "demo", job);
    ASSERT_EQ(duolink::testing::runBatch("'" + job.string() + "' --stats '" + (dir / "runner.csv").string() + "'",
                                         dir / "runner.pane", "/dev/null"),
              0);

    solve();
    std::string pane;
    const auto lines = paneLines();
    for (size_t k = 1; k < lines.size(); ++k) // after the welcome line
        (pane += lines[k]) += '\n';
    EXPECT_EQ(pane, readFile(dir / "runner.pane"));
    EXPECT_EQ(readFile(dir / "vld33res.txt"), readFile(job / "vld33res.txt"));

    fake.fileAnswer = QString::fromStdString((dir / "stats").string());
    training->saveStatisticsButton()->click();
    EXPECT_EQ(readFile(dir / "stats.csv"), readFile(dir / "runner.csv"));

    fake.fileAnswer = QString::fromStdString((dir / "chart.png").string());
    training->saveChartButton()->click();
    ASSERT_EQ(fake.calls.size(), 2u) << fake.calls.back().first.toStdString(); // the two file dialogs
    // Drawn for the page at the default size, whatever the window's.
    const QImage image(QString::fromStdString((dir / "chart.png").string()));
    EXPECT_EQ(image.size(), QSize(1600, 1000));

    // A folder in the way: an error box names the file, nothing else changes.
    fs::create_directory(dir / "taken.csv");
    fake.fileAnswer = QString::fromStdString((dir / "taken.csv").string());
    training->saveStatisticsButton()->click();
    ASSERT_EQ(fake.calls.size(), 4u);
    EXPECT_EQ(fake.calls.back().kind, "error");
    EXPECT_TRUE(fake.calls.back().first.contains("taken.csv")) << fake.calls.back().first.toStdString();
    EXPECT_TRUE(fs::is_directory(dir / "taken.csv"));
}
