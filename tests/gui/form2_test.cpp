// SPDX-License-Identifier: GPL-3.0-or-later
#include <QApplication>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <memory>
#include <vector>

#include "core/support/console.h"
#include "pane/consoleview.h"
#include "common/dialogs.h"
#include "common/filefilter.h"
#include "form/form2.h"
#include "core/support/numtext.h"
#include "core/patterns/patterns.h"
#include "core/support/errors.h"
#include "core/engine/state.h"
#include "tests/gui/fixture.h"
#include "tests/gui/input.h"

using namespace duolink;

TEST_F(MainWindow, StartsWithItsControlsInPlaceAndFilled)
{
    EXPECT_TRUE(form->windowTitle().startsWith("VELD Duolink 200z"));
    EXPECT_EQ(ui->Edit1->text(), "    0");
    EXPECT_EQ(ui->Edit2->text(), "    0.000");
    EXPECT_EQ(fieldTexts(), QStringList(16, "0.001"));
    EXPECT_EQ(ui->ProgressBar1->minimum(), 0);
    EXPECT_EQ(ui->ProgressBar1->maximum(), 100);
    EXPECT_EQ(ui->ProgressBar1->value(), 0);
    ASSERT_GE(ui->Memo1->lineCount(), 1);
    EXPECT_EQ(ui->Memo1->line(ui->Memo1->lineCount() - 1), "Welcome to Morvath Duolink 100");
    EXPECT_EQ(form->findChild<QLabel*>("Label4")->text(), "R2 Correlation");
    EXPECT_EQ(form->findChild<QPushButton*>("Button11")->text(), "Load Matrix");
}

TEST_F(MainWindow, ListCommandsWithoutAPositionDoNothing)
{
    for (QPushButton* b : {ui->Button4, ui->Button5, ui->Button3, ui->Button2})
        b->click();
    EXPECT_EQ(list().patternCount, 0);
    EXPECT_EQ(list().currentIndex, 0);
    EXPECT_EQ(ui->Edit1->text(), "    0");
    EXPECT_EQ(fieldTexts(), QStringList(16, "0.001"));

    ui->Button1->click();
    EXPECT_EQ(ui->Edit1->text(), "    1");
    for (int i = 1; i <= 8; ++i) {
        EXPECT_EQ(list().aPatterns[1][i], 0.001);
        EXPECT_EQ(list().bPatterns[1][i], 0.001);
    }
    EXPECT_EQ(list().aPatterns[1][9], 0.0);
}

TEST_F(MainWindow, ParityCountsValuesStrictlyAboveOneHalf)
{
    const std::vector<std::pair<std::vector<QString>, double>> cases = {
        {{"1"}, 1.0}, {{"1", "1"}, 0.0}, {{"0.5"}, 0.0}, {{"0.5000001"}, 1.0}};
    for (const auto& [values, parity] : cases) {
        typeA(values);
        ui->Button1->click();
        EXPECT_EQ(list().aPatterns[list().patternCount][9], parity) << values[0].toStdString();
    }
}

TEST_F(MainWindow, MalformedFieldTextReadsAsItsLeadingNumber)
{
    typeA({"1.5 ", "1.5x", "abc", "-", "", "1,5", " 2.25", "5."});
    ui->Button1->click();
    const double expected[] = {0, 1.5, 1.5, 0, 0, 0, 1, 2.25, 5};
    for (int i = 1; i <= 8; ++i)
        EXPECT_EQ(list().aPatterns[1][i], expected[i]) << "field " << i;
}

TEST_F(MainWindow, BrowsingStopsAtTheEndsAndShowsStoredPairs)
{
    for (const char* v : {"1", "2", "3"}) {
        typeA({v});
        ui->Button1->click();
    }
    ASSERT_EQ(list().currentIndex, 3);
    ui->Button5->click();
    EXPECT_EQ(ui->Edit1->text(), "    2");
    EXPECT_EQ(ui->Edit3->text(), "    2.000");
    ui->Button5->click();
    EXPECT_EQ(ui->Edit3->text(), "    1.000");
    EXPECT_EQ(ui->Edit11->text(), "    0.001");
    ui->Button5->click();
    EXPECT_EQ(list().currentIndex, 1);

    for (int i = 0; i < 3; ++i)
        ui->Button4->click();
    EXPECT_EQ(ui->Edit1->text(), "    4");
    EXPECT_EQ(fieldTexts(), QStringList(16, "    0.000"));
    typeA({"9"});
    ui->Button3->click(); // outside the list
    EXPECT_EQ(list().aPatterns[4][1], 0.0);

    // A value shown rounded is stored as shown by Update.
    list().aPatterns[2][1] = 0.0004;
    ui->Button5->click();
    ui->Button5->click();
    EXPECT_EQ(ui->Edit3->text(), "    0.000");
    ui->Button3->click();
    EXPECT_EQ(list().aPatterns[2][1], 0.0);

    // After Reset, Add overwrites position 1 and Next finds the old pair 2.
    ui->Edit2->setText("x");
    ui->Button9->click();
    EXPECT_EQ(ui->Edit1->text(), "    0");
    EXPECT_EQ(ui->Edit2->text(), "    0.000");
    typeA({"7"});
    ui->Button1->click();
    EXPECT_EQ(list().aPatterns[1][1], 7.0);
    ui->Button4->click();
    EXPECT_EQ(ui->Edit1->text(), "    2");
    EXPECT_EQ(list().patternCount, 1);
}

TEST_F(MainWindow, CapacityBoundsAddAndNext)
{
    for (int i = 0; i < kPatternCapacity; ++i)
        ui->Button1->click();
    EXPECT_EQ(list().patternCount, 256);
    typeA({"5"});
    ui->Button1->click();
    EXPECT_EQ(list().patternCount, 256);
    EXPECT_EQ(ui->Edit1->text(), "  256");
    ui->Button4->click();
    EXPECT_EQ(list().currentIndex, 256);
}

TEST_F(MainWindow, DeleteClosesTheGapAndShowsThePairNowCurrent)
{
    for (const char* v : {"1", "2", "3"}) {
        typeA({v});
        ui->Button1->click();
    }
    ui->Button5->click(); // position 2
    ui->Button2->click();
    EXPECT_EQ(list().patternCount, 2);
    EXPECT_EQ(list().currentIndex, 2);
    EXPECT_EQ(list().aPatterns[1][1], 1.0);
    EXPECT_EQ(list().aPatterns[2][1], 3.0);
    EXPECT_EQ(ui->Edit1->text(), "    2");
    EXPECT_EQ(ui->Edit3->text(), "    3.000");

    ui->Button2->click(); // the last pair: the one before it becomes current
    EXPECT_EQ(list().patternCount, 1);
    EXPECT_EQ(ui->Edit1->text(), "    1");
    EXPECT_EQ(ui->Edit3->text(), "    1.000");

    typeA({"8"});
    ui->Button2->click(); // the only pair
    EXPECT_EQ(list().patternCount, 0);
    EXPECT_EQ(list().currentIndex, 0);
    EXPECT_EQ(ui->Edit1->text(), "    0");
    EXPECT_EQ(ui->Edit3->text(), "8");
    ui->Button2->click();
    EXPECT_EQ(list().patternCount, 0);
}

TEST_F(MainWindow, MatrixFileDialogsOfferTheirLastNameAndNoticeCancel)
{
    ui->Button10->click();
    ui->Button11->click();
    ASSERT_EQ(fake.calls.size(), 4u);
    EXPECT_EQ(fake.calls[0].kind, "save");
    EXPECT_EQ(fake.calls[0].first, "Matrix(*.vmat2);;All files (*)");
    EXPECT_EQ(fake.calls[0].second, "");
    EXPECT_EQ(fake.calls[1].first, "Please Select a File");
    EXPECT_EQ(fake.calls[1].second, "For Save Matrix|");
    EXPECT_EQ(fake.calls[2].kind, "open");
    EXPECT_EQ(fake.calls[3].second, "For Read Matrix|");

    QTemporaryDir dir;
    const QString path = dir.filePath("m.vmat2");
    fake.fileAnswer = path;
    fake.calls.clear();
    ui->Button10->click();
    ui->Button11->click();
    ui->Button10->click();
    ASSERT_EQ(fake.calls.size(), 4u); // no notice, no error
    EXPECT_EQ(fake.calls[1].kind, "open");
    EXPECT_EQ(fake.calls[1].second, ""); // the open dialog has its own last name
    EXPECT_EQ(fake.calls[2].second, path);
    // Saving over the file saved before asks first.
    EXPECT_EQ(fake.calls[3].kind, "question");
    EXPECT_EQ(fake.calls[3].first, "m.vmat2 already exists. Replace it?");
}

TEST(FileFilters, PairsBecomeDialogEntriesThatShowAsWritten)
{
    EXPECT_EQ(qtFileFilter("Matrix(*.vmat2)|*.vmat2"), "Matrix(*.vmat2)");
    EXPECT_EQ(qtFileFilter("Text files|*.txt;*.log|All (*.*)|*.*"), "Text files (*.txt *.log);;All (*.*)");
    EXPECT_EQ(qtFileFilter("Data (*.dat)|*.txt"), "Data (*.dat) (*.txt)");
    EXPECT_EQ(qtFileFilter(""), "");
}

TEST_F(MainWindow, CommandFailuresAreReportedAndTheDisplayCatchesUp)
{
    form->runCommand([this] {
        engine().consoleChannel().runProgressBar->setMaximum(10);
        engine().consoleChannel().runProgressBar->stepBy(25);
        engine().consoleChannel().r2Edit->setText(realText(0.75));
        engine().consoleWriteLn("before the failure");
        throw RunError("File access denied");
    });
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0].kind, "error");
    EXPECT_EQ(fake.calls[0].first, "File access denied");
    EXPECT_EQ(ui->ProgressBar1->maximum(), 10);
    EXPECT_EQ(ui->ProgressBar1->value(), 10);
    EXPECT_EQ(ui->Edit2->text(), "    0.750");
    EXPECT_FALSE(ui->Memo1->hasUnsyncedLines());
    EXPECT_EQ(ui->Memo1->line(ui->Memo1->lineCount() - 1), "before the failure");

    form->runCommand([this] {
        engine().consoleChannel().runProgressBar->stepBy(-1000);
        throw JobTerminated();
    });
    EXPECT_EQ(ui->ProgressBar1->value(), 0);
    ASSERT_EQ(fake.calls.size(), 2u);
    EXPECT_EQ(fake.calls[1].kind, "message");
    EXPECT_EQ(fake.calls[1].first, "The job was terminated because of an error in its input. "
                                   "See the report file vld33res.txt for details.");

    // The window goes on.
    ui->Button1->click();
    EXPECT_EQ(list().patternCount, 1);
}

TEST_F(MainWindow, LongRunsRepaintAtMostEveryThirtyMilliseconds)
{
    QThread::msleep(40);
    engine().consoleWriteLn("first");
    EXPECT_FALSE(ui->Memo1->hasUnsyncedLines());
    engine().consoleWriteLn("second");
    EXPECT_TRUE(ui->Memo1->hasUnsyncedLines());
    QThread::msleep(40);
    engine().consoleChannel().runProgressBar->stepBy(1);
    EXPECT_FALSE(ui->Memo1->hasUnsyncedLines());
    EXPECT_EQ(ui->ProgressBar1->value(), 1);
}

TEST_F(MainWindow, ExitEndsTheEventLoopAndDropsThePendingLine)
{
    const qsizetype lines = ui->Memo1->lineCount();
    engine().consoleWrite("partial");
    QTimer::singleShot(0, ui->Button8, &QPushButton::click);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_EQ(ui->Memo1->lineCount(), lines);

    form->show();
    QTimer::singleShot(0, form.get(), &QWidget::close);
    EXPECT_EQ(QApplication::exec(), 0);
    engine().consoleChannel().pendingLine.clear();
}
