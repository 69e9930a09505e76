// SPDX-License-Identifier: GPL-3.0-or-later
// The Analysis window's forms at their natural width beside their charts,
// table headers that read whole, numbers shown with a point under any
// locale, and Ctrl+Return asking before it adds a field not read whole.
#include <QChartView>
#include <QDoubleSpinBox>
#include <QHeaderView>
#include <QLocale>
#include <QTableView>

#include <filesystem>

#include "analysis/analysiswindow.h"
#include "form/fieldmarks.h"
#include "analysis/noisetab.h"
#include "tests/gui/fixture.h"

using namespace duolink;

namespace {

// The user's locale for the length of one test.
struct LocaleFor {
    explicit LocaleFor(QLocale::Language language) { QLocale::setDefault(QLocale(language)); }
    ~LocaleFor() { QLocale::setDefault(QLocale::c()); }
};

TEST_F(MainWindow, AnalysisFormsKeepTheirWidthAndHeadersReadWhole)
{
    const LocaleFor german(QLocale::German);
    form->showAnalysis();
    AnalysisWindow* analysis = form->analysisWindow();
    analysis->resize(1480, 600);
    auto* tabs = analysis->findChild<QTabWidget*>();
    ASSERT_NE(tabs, nullptr);
    for (int i = 0; i < tabs->count(); ++i) {
        tabs->setCurrentIndex(i);
        QApplication::processEvents();
    }

    auto* density = analysis->findChild<QDoubleSpinBox*>("capacityDensity");
    ASSERT_NE(density, nullptr);
    tabs->setCurrentWidget(density->parentWidget());
    QApplication::processEvents();
    EXPECT_EQ(density->text(), "0.500") << "a point, as in every other number field";
    EXPECT_LT(density->width(), 400);
    auto* chart = density->parentWidget()->findChild<QChartView*>();
    ASSERT_NE(chart, nullptr);
    EXPECT_GT(chart->width(), 800);
    EXPECT_GT(chart->height(), 400);

    auto* recall = analysis->findChild<QTableView*>("recallView");
    ASSERT_NE(recall, nullptr);
    const QHeaderView* header = recall->horizontalHeader();
    for (int column = 0; column < header->count(); ++column) {
        const QString text = recall->model()->headerData(column, Qt::Horizontal).toString();
        EXPECT_GE(header->sectionSize(column), header->fontMetrics().horizontalAdvance(text)) << text.toStdString();
    }
    analysis->close();
}

TEST_F(MainWindow, CtrlReturnAsksBeforeAddingAFieldNotReadWhole)
{
    typeA({"0,5"});
    ASSERT_FALSE(form->fieldMarks()->note().isEmpty());
    for (const bool answer : {false, true}) {
        fake.calls.clear();
        fake.questionAnswer = answer;
        ui->addPairAction->trigger();
        ASSERT_EQ(fake.calls.size(), 1u);
        EXPECT_TRUE(fake.calls[0].first.startsWith(form->fieldMarks()->note())) << fake.calls[0].first.toStdString();
        EXPECT_EQ(list().patternCount, answer ? 1 : 0);
    }
    // Fields read whole: no question.
    typeA({"0.5"});
    fake.calls.clear();
    ui->addPairAction->trigger();
    EXPECT_TRUE(fake.calls.empty());
    EXPECT_EQ(list().patternCount, 2);
}

} // namespace

namespace {

class NoiseFields : public WindowInWorkFolder {};

// σ, Trials and Seed are greyed for a list of 0/1 patterns, which the Noise
// tab flips instead.
TEST_F(NoiseFields, AreGreyedForListsOfZerosAndOnes)
{
    std::filesystem::copy_file(std::filesystem::path(DUOLINK_TEST_DATA) / ".." / ".." / "examples" / "veld200gSetup.dat",
                               dir / "veld200gSetup.dat");
    for (const auto& [a1, used] : std::vector<std::pair<QString, bool>>{{"1", false}, {"0.5", true}}) {
        SCOPED_TRACE(a1.toStdString());
        ui->Button9->click();
        typeA({a1, "0", "1"});
        ui->Button1->click();
        solve();
        form->showAnalysis();
        QTabWidget* tabs = form->analysisWindow()->tabs();
        tabs->setCurrentIndex(0);
        tabs->setCurrentWidget(form->analysisWindow()->noiseTab());
        for (const char* name : {"sigmaField", "trialsField", "seedField"})
            EXPECT_EQ(form->analysisWindow()->noiseTab()->findChild<QWidget*>(name)->isEnabled(), used) << name;
    }
    form->analysisWindow()->close();
}

} // namespace
