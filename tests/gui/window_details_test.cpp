// SPDX-License-Identifier: GPL-3.0-or-later
// What the window tells the user beyond the specified texts: whole field
// values, the list's state in the status bar, the pane's Edit commands and
// the matrix file dialogs.
#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QFileDialog>
#include <QHeaderView>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QTreeView>

#include <string>

#include "core/support/console.h"
#include "pane/consoleview.h"
#include "common/dialogs.h"
#include "form/fieldtext.h"
#include "tests/gui/fixture.h"

using namespace duolink;

TEST_F(MainWindow, FieldsShowTheStartOfAWideValueAndTheWholeOneAsTooltip)
{
    typeA({"-123456789.5", "1"});
    ui->Button1->click();
    ui->Button4->click();
    ui->Button5->click();
    QLineEdit* wide = dataField(0);
    EXPECT_EQ(wide->text(), "-123456789.500");
    EXPECT_EQ(wide->cursorPosition(), 0) << "the sign stays in view";
    EXPECT_EQ(wide->toolTip(), "-123456789.500");
    EXPECT_EQ(dataField(1)->toolTip(), "") << "a value that fits has no tooltip";

    engine().consoleChannel().r2Edit->setText("1000000000000000.000");
    EXPECT_EQ(ui->Edit2->cursorPosition(), 0);
    EXPECT_EQ(ui->Edit2->toolTip(), "1000000000000000.000");

    // Typed text gets its tooltip too, and loses it when it fits again.
    dataField(1)->clear();
    testinput::type(dataField(1), "0.000000000000000001");
    EXPECT_EQ(dataField(1)->toolTip(), "0.000000000000000001");
    dataField(1)->setText("2");
    EXPECT_EQ(dataField(1)->toolTip(), "");
}

// Each list command leaves "Pair i of n" in the status bar; one that cannot
// act, or that moves past the end of the list, says so for a few seconds.
TEST_F(MainWindow, StatusBarSaysWhatTheListHoldsAndWhyACommandDidNothing)
{
    QSignalSpy spy(form.get(), &TForm2::statusMessage);
    QPushButton* const add = ui->Button1;
    QPushButton* const del = ui->Button2;
    QPushButton* const update = ui->Button3;
    QPushButton* const next = ui->Button4;
    QPushButton* const previous = ui->Button5;
    const int notice = TForm2::kNoticeMs;
    const struct {
        QPushButton* button;
        int times;
        const char* text;
        int timeout;
    } steps[] = {
        {next, 1, "Next: the list is empty", notice},
        {previous, 1, "Previous: the list is empty", notice},
        {update, 1, "Update: the list is empty", notice},
        {del, 1, "Delete: the list is empty", notice},
        {add, 1, "Pair 1 of 1", 0},
        {previous, 1, "Previous: this is the first position", notice},
        {next, 1, "Position 2 is past the end of the list (1 pair)", notice},
        {add, 4, "Pair 5 of 5", 0},
        {previous, 1, "Pair 4 of 5", 0},
        {update, 1, "Pair 4 of 5", 0},
        {next, 3, "Position 7 is past the end of the list (5 pairs)", notice},
        {update, 1, "Update: position 7 is past the end of the list (5 pairs)", notice},
        {del, 1, "Delete: position 7 is past the end of the list (5 pairs)", notice},
        {previous, 1, "Position 6 is past the end of the list (5 pairs)", notice},
        {previous, 2, "Pair 4 of 5", 0},
        {del, 1, "Pair 4 of 4", 0},
        {ui->Button9, 1, "Pair 0 of 0", 0},
        {add, 256, "Pair 256 of 256", 0},
        {add, 1, "The list is full (256 pairs)", notice},
        {next, 1, "Next: 256 is the last position", notice},
    };
    for (const auto& step : steps) {
        spy.clear();
        for (int k = 0; k < step.times; ++k)
            step.button->click();
        ASSERT_FALSE(spy.isEmpty()) << step.text;
        EXPECT_EQ(spy.last().at(0).toString(), step.text);
        EXPECT_EQ(spy.last().at(1).toInt(), step.timeout) << step.text;
    }
    EXPECT_EQ(list().patternCount, 256);

    // After the notice the position comes back; a newer text cancels that.
    ui->Button4->click();
    auto* noticeEnd = form->findChild<QTimer*>("noticeEnd");
    ASSERT_TRUE(noticeEnd && noticeEnd->isActive());
    EXPECT_EQ(noticeEnd->interval(), notice);
    spy.clear();
    noticeEnd->start(1);
    ASSERT_TRUE(spy.wait(2000));
    EXPECT_EQ(spy.last().at(0).toString(), "Pair 256 of 256");
    EXPECT_EQ(spy.last().at(1).toInt(), 0);
    ui->Button4->click();
    emit form->statusMessage("something else", 0);
    EXPECT_FALSE(noticeEnd->isActive());
}

TEST_F(MainWindow, ClearOutputEmptiesThePaneAndFreesItsMemory)
{
    for (int i = 0; i < 100000; ++i)
        engine().consoleWriteLn("    1.000    0.000    0.000    0.000    0.000    0.000    0.000    0.000");
    ui->Memo1->syncView();
    const std::size_t before = ui->Memo1->storeBytes();
    EXPECT_GT(before, 100'000u); // packed, but far from empty

    ui->clearOutputAction->trigger();
    EXPECT_EQ(ui->Memo1->lineCount(), 0);
    EXPECT_LT(ui->Memo1->storeBytes(), 1024u);
    engine().consoleWriteLn("after");
    EXPECT_EQ(ui->Memo1->text(), "after");
}

// The Edit shortcuts act on the pane, except in a field with the focus,
// which keeps its own Copy and Select All.
TEST_F(MainWindow, EditShortcutsActOnThePaneButLeaveAFocusedFieldItsOwn)
{
    EXPECT_EQ(ui->clearOutputAction->shortcut(), QKeySequence("Ctrl+Shift+K"));
    EXPECT_TRUE(form->actions().contains(ui->copyAction));
    engine().consoleWriteLn("second line");
    form->show();
    QApplication::setActiveWindow(form.get());
    ASSERT_TRUE(QTest::qWaitForWindowActive(form.get()));

    QLineEdit* field = dataField(0);
    field->setFocus();
    QTest::keyClick(field, Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(field->selectedText(), "0.001");
    EXPECT_FALSE(ui->Memo1->hasSelection());
    QTest::keyClick(field, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "0.001");

    ui->Button1->setFocus();
    QTest::keyClick(ui->Button1, Qt::Key_A, Qt::ControlModifier);
    EXPECT_TRUE(ui->Memo1->hasSelection());
    QTest::keyClick(ui->Button1, Qt::Key_C, Qt::ControlModifier);
    EXPECT_EQ(QApplication::clipboard()->text(), "Welcome to Morvath Duolink 100\nsecond line");

    field->setFocus();
    QTest::keyClick(field, Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(ui->Memo1->lineCount(), 0);
    EXPECT_EQ(field->text(), "0.001");
}

// The real dialog, closed as soon as it shows: the matrix filter first, all
// files second, and room for the file list's columns.
TEST(MatrixFileDialog, ListsAllFilesTooAndOpensAtAReadableSize)
{
    EXPECT_EQ(TForm2::matrixFileFilter(), "Matrix(*.vmat2);;All files (*)");
    for (const bool save : {false, true}) {
        QStringList filters;
        QSize size;
        int nameWidth = 0;
        int columnsWidth = 0;
        int listWidth = 0;
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            filters = dialog->nameFilters();
            size = dialog->size();
            if (auto* list = dialog->findChild<QTreeView*>("treeView")) {
                nameWidth = list->header()->sectionSize(0);
                columnsWidth = list->header()->length();
                listWidth = list->viewport()->width();
            }
            dialog->reject();
        });
        poll.start(10);
        const std::optional<QString> name = save ? qtDialogs().saveFileName(nullptr, TForm2::matrixFileFilter(), {})
                                                 : qtDialogs().openFileName(nullptr, TForm2::matrixFileFilter(), {});
        EXPECT_FALSE(name.has_value());
        EXPECT_EQ(filters, (QStringList{"Matrix(*.vmat2)", "All files (*)"}));
        EXPECT_GE(size.width(), 800);
        EXPECT_GE(size.height(), 450);
        EXPECT_GE(nameWidth, 200);
        EXPECT_LE(columnsWidth, listWidth) << "size, type and date are in view";
    }
}
