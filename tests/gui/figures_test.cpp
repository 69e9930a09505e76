// SPDX-License-Identifier: GPL-3.0-or-later
// Save Chart As on every chart of the program: each writes a PNG of the
// chosen size and resolution, an SVG drawing and a PDF page, drawn for the
// page (white, with the caption when asked for), and leaves the chart on
// screen as it was.
#include <QChart>
#include <QCheckBox>
#include <QChartView>
#include <QComboBox>
#include <QImage>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLineEdit>
#include <QPushButton>
#include <QScatterSeries>
#include <QSignalSpy>
#include <QSpinBox>
#include <QTabWidget>
#include <QXmlStreamReader>

#include <filesystem>
#include <functional>

#include "core/analysis/noise.h"
#include "analysis/analysisrun.h"
#include "analysis/analysiswindow.h"
#include "analysis/capacitytab.h"
#include "training/chartexport.h"
#include "analysis/keptruns.h"
#include "analysis/noisetab.h"
#include "analysis/sweeptab.h"
#include "training/trainingwindow.h"
#include "training/weightmapview.h"
#include "tests/core/testsupport.h"
#include "tests/gui/fixture.h"

using namespace duolink;
using duolink::testing::readFile;
namespace fs = std::filesystem;

namespace {

const fs::path kExamples = fs::path(DUOLINK_TEST_DATA) / ".." / ".." / "examples";

class Figures : public WindowInWorkFolder {
protected:
    void SetUp() override
    {
        WindowInWorkFolder::SetUp();
        fs::copy_file(kExamples / "veld200gSetup.dat", dir / "veld200gSetup.dat");
        fake.fileAnswer = QString::fromStdString((kExamples / "patterns.csv").string());
        ui->openPatternListAction->trigger();
        ui->solveAction->trigger();
        waitForRun();
        ui->showTrainingAction->trigger();
        training = form->trainingWindow();
        ASSERT_NE(training, nullptr);
        training->refresh();
        ui->showAnalysisAction->trigger();
        analysis = form->analysisWindow();
        capacity = analysis->findChild<CapacityTab*>();
        sweep = analysis->findChild<SweepTab*>();
        ASSERT_TRUE(capacity && sweep);
        fake.calls.clear();
    }
    template <typename Tab>
    void runTab(Tab* tab, const char* button)
    {
        analysis->tabs()->setCurrentWidget(tab);
        tab->template findChild<QPushButton*>(button)->click();
        tab->analysisRun()->wait();
        QCoreApplication::processEvents();
        ASSERT_TRUE(QTest::qWaitFor([tab] { return !tab->analysisRun()->isRunning(); }, 120000));
        QCoreApplication::processEvents();
    }
    void runSweep(const char* second, const char* secondList)
    {
        sweep->findChild<QComboBox*>("sweepName1")->setCurrentText("beta");
        sweep->findChild<QLineEdit*>("sweepList1")->setText("0.2,0.5");
        sweep->findChild<QComboBox*>("sweepName2")->setCurrentText(second);
        sweep->findChild<QLineEdit*>("sweepList2")->setText(secondList);
        QSignalSpy finished(sweep, &TrainingTab::runFinished);
        runTab(sweep, "sweepRun");
        ASSERT_TRUE(!finished.isEmpty() || finished.wait(120000));
    }
    void runCapacity(const char* overrides = "max=40")
    {
        capacity->findChild<QSpinBox*>("capacityPairs")->setValue(12);
        capacity->findChild<QSpinBox*>("capacitySets")->setValue(2);
        capacity->findChild<QLineEdit*>("capacityOverrides")->setText(overrides);
        QSignalSpy finished(capacity, &TrainingTab::runFinished);
        runTab(capacity, "capacityRun");
        ASSERT_TRUE(!finished.isEmpty() || finished.wait(120000));
    }

    TrainingWindow* training = nullptr;
    AnalysisWindow* analysis = nullptr;
    CapacityTab* capacity = nullptr;
    SweepTab* sweep = nullptr;
};

// Pixels that are not white: the figure shows something.
int inkedPixels(const QImage& image)
{
    int inked = 0;
    for (int y = 0; y < image.height(); y += 4)
        for (int x = 0; x < image.width(); x += 4)
            inked += image.pixel(x, y) != qRgb(255, 255, 255);
    return inked;
}

} // namespace

TEST_F(Figures, EveryChartSavesAsPngSvgAndPdfDrawnForThePage)
{
    runTab(analysis->noiseTab(), "runNoiseButton");
    runCapacity();
    const struct {
        const char* name;
        std::function<void()> prepare; // brings the chart on screen
        std::function<ChartExport*()> chart;
        const char* captionWord;       // the caption's first word
    } charts[] = {
        {"training", [] {}, [&] { return training->chartExport(); }, "BETA"},
        {"weights", [] {}, [&] { return training->weightMapExport(); }, "BETA"},
        {"noise", [] {}, [&] { return analysis->noiseTab()->chartExport(); }, "TOL"},
        {"capacity", [] {}, [&] { return capacity->chartExport(); }, "BETA"},
        {"sweep-line", [&] { runSweep("(none)", ""); }, [&] { return sweep->chartExport(); }, "TOL"},
        {"sweep-heat", [&] { runSweep("tol", "0.1,0.2"); }, [&] { return sweep->chartExport(); }, "MAX"},
    };
    for (const auto& c : charts) {
        SCOPED_TRACE(c.name);
        c.prepare();
        ChartExport* chart = c.chart();
        ASSERT_NE(chart, nullptr);
        const QString base = QString::fromStdString((dir / c.name).string());
        const QWidget* onScreen = training->chartView();
        const QSize screenSize = onScreen->size();

        // PNG: the size and resolution asked for, white corners, something drawn.
        FigureOptions options;
        options.pixels = QSize(1200, 800);
        options.dpi = 150;
        ASSERT_EQ(chart->save(base + ".png", options), QString());
        const QImage png(base + ".png");
        ASSERT_FALSE(png.isNull());
        EXPECT_EQ(png.size(), QSize(1200, 800));
        EXPECT_NEAR(png.dotsPerMeterX() * 0.0254, 150, 0.5);
        EXPECT_EQ(png.pixel(0, 0), qRgb(255, 255, 255));
        EXPECT_GT(inkedPixels(png), 500);

        // SVG: well-formed, an <svg> at the top, the caption unless switched off.
        for (bool caption : {true, false}) {
            options.caption = caption;
            ASSERT_EQ(chart->save(base + ".svg", options), QString());
            const QByteArray svg = QByteArray::fromStdString(readFile(dir / (std::string(c.name) + ".svg")));
            QXmlStreamReader xml(svg);
            ASSERT_TRUE(xml.readNextStartElement());
            EXPECT_EQ(xml.name(), QLatin1String("svg"));
            while (!xml.atEnd())
                xml.readNext();
            EXPECT_FALSE(xml.hasError()) << xml.errorString().toStdString();
            EXPECT_EQ(svg.contains(QByteArray(">") + c.captionWord), caption) << caption;
        }

        // PDF: a whole PDF file.
        ASSERT_EQ(chart->save(base + ".pdf", options), QString());
        const std::string pdf = readFile(dir / (std::string(c.name) + ".pdf"));
        EXPECT_TRUE(pdf.starts_with("%PDF-"));
        EXPECT_NE(pdf.find("%%EOF", pdf.size() - 16), std::string::npos);

        EXPECT_EQ(onScreen->size(), screenSize);
    }
    // The chart on screen keeps its size after a figure of another shape.
    EXPECT_EQ(capacity->chartView()->chart()->size(), QSizeF(capacity->chartView()->viewport()->size()));
    EXPECT_TRUE(fake.calls.empty()) << fake.calls.front().first.toStdString();
}

// Save Chart As through its dialogs: the suffix picks the format, a name
// without one becomes a PNG, and an unknown suffix saves nothing.
TEST_F(Figures, SaveChartAsTakesTheFormatFromTheName)
{
    runCapacity();
    const struct {
        const char* answer;
        const char* written; // "" when nothing may be written
        const char* start;
    } cases[] = {
        {"fig", "fig.png", "\x89PNG"},
        {"fig.SVG", "fig.SVG", "<?xml"},
        {"fig.pdf", "fig.pdf", "%PDF"},
        {"fig.jpeg", "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.answer);
        fake.calls.clear();
        fake.fileAnswer = QString::fromStdString((dir / c.answer).string());
        capacity->findChild<QPushButton*>("capacitySavePng")->click();
        if (*c.written) {
            EXPECT_TRUE(readFile(dir / c.written).starts_with(c.start));
            EXPECT_EQ(fake.calls.size(), 1u);
        } else {
            EXPECT_FALSE(fs::exists(dir / c.answer));
            ASSERT_EQ(fake.calls.size(), 2u);
            EXPECT_EQ(fake.calls[1].kind, "error");
        }
    }
}

// Keep this run on the three tabs that compare runs: the kept curve stays
// named by its values, the CSV numbers every run in a `run` column with a
// sidecar listing them, and once the kept run is removed the CSV is the
// plain one again.
TEST_F(Figures, KeptRunsStayOnTheChartAndNumberTheCsv)
{
    const auto withRun = [](int run, const std::string& csv) {
        std::string out;
        for (size_t start = csv.find('\n') + 1; start < csv.size();) {
            const size_t end = csv.find('\n', start) + 1;
            out += std::to_string(run) + ',' + csv.substr(start, end - start);
            start = end;
        }
        return out;
    };
    NoiseTab* noise = analysis->noiseTab();
    const struct {
        const char* name;
        std::function<void(int)> run; // the first (0) or the second (1) run
        std::function<std::string()> csv;
        std::function<KeptRuns*()> kept;
        QWidget* tab;
        const char* keepBox;
        const char* saveCsv;
        const char* analysisName;
        const char* legend; // the kept run's name in the legend
    } cases[] = {
        {"capacity",
         [&](int k) {
             runCapacity(k ? "beta=0.1 max=40" : "max=40");
         },
         [&] { return capacity->csvText(); }, [&] { return capacity->keptRuns(); }, capacity, "capacityKeepRun",
         "capacitySaveCsv", "capacity", "BETA 0.5"},
        {"sweep",
         [&](int k) {
             sweep->findChild<QLineEdit*>("sweepOverrides")->setText(k ? "tol=0.2" : "");
             runSweep("(none)", "");
         },
         [&] { return sweep->csvText(); }, [&] { return sweep->keptRuns(); }, sweep, "sweepKeepRun", "sweepSaveCsv",
         "sweep", "TOL 0.1"},
        {"noise", [&](int) { runTab(noise, "runNoiseButton"); }, [&] { return noiseTableCsv(*noise->table()); },
         [&] { return noise->keptRuns(); }, noise, "noiseKeepRun", "saveNoiseCsvButton", "noise", "run 1"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.run(0);
        const std::string first = c.csv();
        c.tab->findChild<QCheckBox*>(c.keepBox)->setChecked(true);
        c.run(1);
        const std::string second = c.csv();
        KeptRuns* kept = c.kept();
        ASSERT_EQ(kept->runs().size(), 1u);
        EXPECT_FALSE(c.tab->findChild<QCheckBox*>(c.keepBox)->isChecked());
        // The kept curve is on the chart, named in the legend.
        const KeptRuns::Run& run = kept->runs().front();
        ASSERT_TRUE(run.marks);
        EXPECT_FALSE(run.label.isEmpty());
        EXPECT_EQ(run.marks->name(), c.legend);
        EXPECT_GT(run.marks->count(), 0);

        const fs::path path = dir / (std::string(c.name) + "-runs.csv");
        fake.fileAnswer = QString::fromStdString(path.string());
        fake.calls.clear();
        c.tab->findChild<QPushButton*>(c.saveCsv)->click();
        const std::string header = first.substr(0, first.find('\n') + 1);
        EXPECT_EQ(readFile(path), "run," + header + withRun(1, first) + withRun(2, second));
        const QJsonDocument sidecar =
            QJsonDocument::fromJson(QByteArray::fromStdString(readFile(path.string() + ".json")));
        const QJsonArray runs = sidecar.object().value("runs").toArray();
        ASSERT_EQ(runs.size(), 2);
        EXPECT_EQ(runs[0].toObject().value("label").toString(), run.label);
        EXPECT_EQ(runs[1].toObject().value("run").toInt(), 2);
        EXPECT_EQ(runs[1].toObject().value("provenance").toObject().value("analysis").toString(), c.analysisName);

        // Removed, the run leaves the chart and the CSV is the plain one.
        const QPointer<QScatterSeries> marks = run.marks;
        kept->remove(0);
        EXPECT_TRUE(kept->empty());
        EXPECT_FALSE(marks);
        fake.questionAnswer = true;
        c.tab->findChild<QPushButton*>(c.saveCsv)->click();
        EXPECT_EQ(readFile(path), second);
    }
}
