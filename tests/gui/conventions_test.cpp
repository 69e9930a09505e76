// SPDX-License-Identifier: GPL-3.0-or-later
// The desktop conventions around the specified window: undo of the list
// commands, the question before closing with unsaved pairs, Return on a
// focused button, Esc and the status text during a run, and windows that
// open on the screen.
#include <QAction>
#include <QFile>
#include <QPushButton>
#include <QRegularExpression>
#include <QApplication>
#include <QScreen>
#include <QSpinBox>
#include <QStatusBar>
#include <QTest>
#include <QTimer>

#include <cerrno>
#include <fstream>

#include "core/engine/stop.h"
#include "core/stats/recorder.h"
#include "core/support/errors.h"
#include "core/patterns/patternlist.h"
#include "core/session/session.h"
#include "common/errortext.h"
#include "form/jobadvice.h"
#include "analysis/analysisrun.h"
#include "analysis/analysiswindow.h"
#include "pane/consoleview.h"
#include "analysis/noisetab.h"
#include "app/appwindow.h"
#include "list/patternlistwindow.h"
#include "controllers/runstatus.h"
#include "training/trainingwindow.h"
#include "app/windowplacement.h"
#include "tests/gui/fixture.h"

using namespace duolink;

namespace {

// The list as the user sees it: the pairs, the position, the index field.
struct ListView {
    std::vector<double> values;
    int current;
    QString index;
    bool operator==(const ListView&) const = default;
};

// A menu entry as it reads, without its mnemonic mark.
std::string shown(const QAction* action)
{
    return action->text().remove(QLatin1Char('&')).toStdString();
}

class Conventions : public WindowInWorkFolder {
protected:
    // Two pairs the training can never tell apart: only Stop ends a Solve.
    void addPairsThatNeverConverge()
    {
        std::ofstream(dir / "veld200gSetup.dat") << "4\n999999\n9\n8\n0\n0.5\n0.001\n2\n10000\n0.1\n";
        for (const char* b : {"1", "0"}) {
            for (int f = 0; f < 16; ++f)
                dataField(f)->setText(f == 0 ? "1" : f == 8 ? b : "0");
            ui->Button1->click();
        }
    }
    void add(const char* first)
    {
        typeA({first, "0", "1"});
        ui->Button1->click();
    }
    ListView view() const
    {
        ListView v{{}, list().currentIndex, ui->Edit1->text()};
        for (int p = 1; p <= list().patternCount; ++p)
            for (int i = 1; i <= 8; ++i)
                v.values.insert(v.values.end(), {list().aPatterns[p][i], list().bPatterns[p][i]});
        return v;
    }
};

} // namespace

TEST_F(Conventions, EveryListCommandUndoesAndRedoes)
{
    add("1");
    add("2");
    const QString csv = QString::fromStdString((dir / "l.csv").string());
    std::ofstream(dir / "l.csv") << "7,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1\n";
    const struct {
        const char* undoText;
        std::function<void()> command;
    } cases[] = {
        {"Undo Add Pair 3", [&] { add("3"); }},
        {"Undo Update Pair 2", [&] { typeA({"9"}); ui->Button3->click(); }},
        {"Undo Delete Pair 2", [&] { ui->deletePairAction->trigger(); }},
        {"Undo Reset List", [&] { ui->Button9->click(); }},
        {"Undo Open Pattern List", [&] { fake.fileAnswer = csv; ui->openPatternListAction->trigger(); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.undoText);
        // Undo goes back from the state before each case.
        const ListView before = view();
        c.command();
        const ListView after = view();
        ASSERT_NE(after, before);
        EXPECT_EQ(shown(ui->undoAction), c.undoText);
        ui->undoAction->trigger();
        EXPECT_EQ(view(), before);
        EXPECT_EQ(shown(ui->redoAction), QString(c.undoText).replace("Undo", "Redo").toStdString());
        ui->redoAction->trigger();
        EXPECT_EQ(view(), after);
        ui->undoAction->trigger();
    }
    // Commands that change nothing are not recorded; the keys are the standard ones.
    const QString last = ui->undoAction->text();
    ui->Button4->click(); // Next, past the end: Update and Delete refuse
    ui->updatePairAction->trigger();
    ui->Button2->click();
    EXPECT_EQ(ui->undoAction->text(), last);
    EXPECT_TRUE(ui->undoAction->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::Key_Z)));
    EXPECT_TRUE(ui->redoAction->shortcuts().contains(QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)));
}

TEST_F(Conventions, ClosingWithUnsavedPairsAsksToSaveThem)
{
    const QString saved = QString::fromStdString((dir / "kept.csv").string());
    const struct {
        Dialogs::UnsavedAnswer answer;
        bool closes;
        bool written;
    } cases[] = {
        {Dialogs::UnsavedAnswer::Cancel, false, false},
        {Dialogs::UnsavedAnswer::Discard, true, false},
        {Dialogs::UnsavedAnswer::Save, true, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(int(c.answer));
        form->show();
        fake.unsavedAnswer = Dialogs::UnsavedAnswer::Discard;
        ui->Button9->click();
        for (const char* v : {"1", "2", "3", "4", "5", "6"})
            add(v);
        fake.calls.clear();
        fake.unsavedAnswer = c.answer;
        fake.fileAnswer = saved;
        EXPECT_EQ(form->close(), c.closes);
        ASSERT_GE(fake.calls.size(), 1u);
        EXPECT_EQ(fake.calls[0].kind, "unsaved");
        EXPECT_EQ(fake.calls[0].first, "Save the 6 pairs before closing?");
        EXPECT_EQ(QFile::exists(saved), c.written);
    }
    // Nothing to ask when the pairs are in a file: Exit ends the program.
    fake.calls.clear();
    QTimer::singleShot(0, ui->exitAction, &QAction::trigger);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(fake.calls.empty());
}

TEST_F(Conventions, ReturnOnAFocusedButtonPressesIt)
{
    form->show();
    QApplication::setActiveWindow(form.get());
    dataField(15)->setFocus();
    QTest::keyClick(dataField(15), Qt::Key_Return);
    ASSERT_EQ(QApplication::focusWidget(), ui->Button1);
    EXPECT_TRUE(form->testAttribute(Qt::WA_KeyboardFocusChange)); // the focus mark shows
    QTest::keyClick(ui->Button1, Qt::Key_Return);
    QTest::keyClick(ui->Button1, Qt::Key_Enter);
    EXPECT_EQ(list().patternCount, 2);
}

TEST_F(Conventions, EscFromTheTrainingWindowStopsARunThatTheStatusBarFollows)
{
    addPairsThatNeverConverge();
    QStatusBar bar;
    new RunStatus(form.get(), form->recorder(), &bar);
    form->show();
    form->showTraining();
    TrainingWindow* training = form->trainingWindow();
    ASSERT_FALSE(training->stopButton()->isEnabled());
    QString status;
    bool buttonsGrey = false, stopEnabled = false;
    QObject::connect(
        form.get(), &TForm2::runStarted, form.get(),
        [&] {
            QTimer::singleShot(3 * RunStatus::kIntervalMs, [&] {
                status = bar.currentMessage();
                buttonsGrey = !ui->Button1->isEnabled() && !ui->Button6->isEnabled();
                stopEnabled = training->stopButton()->isEnabled();
                QTest::keyClick(training, Qt::Key_Escape);
            });
        },
        Qt::SingleShotConnection);
    ui->Button6->click();
    waitForRun();
    EXPECT_FALSE(form->isRunning());
    EXPECT_TRUE(QRegularExpression("^Training: presentation [1-9][0-9]* of 999999$").match(status).hasMatch())
        << status.toStdString();
    EXPECT_TRUE(buttonsGrey);
    EXPECT_TRUE(stopEnabled);
    EXPECT_EQ(ui->Memo1->lineView(ui->Memo1->lineCount() - 1), "PROGRAM DONE");
    EXPECT_TRUE(ui->Button1->isEnabled());
    EXPECT_FALSE(training->stopButton()->isEnabled());
    EXPECT_TRUE(bar.currentMessage().isEmpty());
}

// F5 starts a Solve and Esc stops it from each of the program's windows, and
// the program's other keys work there too; in the Analysis window Esc also
// stops an analysis.
TEST_F(Conventions, EveryWindowAnswersTheProgramsKeys)
{
    addPairsThatNeverConverge();
    form->show();
    form->showTraining();
    form->showPatternList();
    form->showAnalysis();
    const auto activate = [](QWidget* w) {
        w->raise();
        QApplication::setActiveWindow(w);
        return QTest::qWaitForWindowActive(w);
    };
    const struct {
        QKeyCombination key;
        QAction* action;
    } keys[] = {
        {Qt::Key_F6, ui->predictAction},
        {Qt::Key_F7, ui->testAllPairsAction},
        {Qt::CTRL | Qt::Key_T, ui->showTrainingAction},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_L, ui->showPatternListAction},
        {Qt::CTRL | Qt::SHIFT | Qt::Key_A, ui->showAnalysisAction},
        {Qt::CTRL | Qt::Key_O, ui->openPatternListAction},
    };
    for (QWidget* w : {static_cast<QWidget*>(form.get()), static_cast<QWidget*>(form->trainingWindow()),
                       static_cast<QWidget*>(form->patternListWindow()),
                       static_cast<QWidget*>(form->analysisWindow())}) {
        SCOPED_TRACE(w->objectName().toStdString());
        ASSERT_TRUE(activate(w));
        // Esc once the training is under way.
        QTimer esc;
        QObject::connect(&esc, &QTimer::timeout, [&] {
            std::size_t made = 0;
            form->recorder().read([&](const TrainingData& data) { made = data.size(); });
            if (made > 0 && form->isRunning()) {
                esc.stop();
                QTest::keyClick(w, Qt::Key_Escape);
            }
        });
        esc.start(10);
        const qsizetype before = ui->Memo1->lineCount();
        QTest::keyClick(w, Qt::Key_F5);
        waitForRun();
        bool stopped = false;
        for (qsizetype i = before; i < ui->Memo1->lineCount(); ++i)
            stopped = stopped || ui->Memo1->lineView(i) == kStoppedLine;
        EXPECT_TRUE(stopped);
        EXPECT_EQ(ui->Memo1->lineView(ui->Memo1->lineCount() - 1), "PROGRAM DONE");

        for (const auto& k : keys) {
            ASSERT_TRUE(activate(w));
            int triggered = 0;
            QObject::connect(k.action, &QAction::triggered, w, [&] { ++triggered; });
            QTest::keyClick(w, k.key.key(), k.key.keyboardModifiers());
            EXPECT_EQ(triggered, 1) << k.action->objectName().toStdString();
            QObject::disconnect(k.action, &QAction::triggered, w, nullptr);
        }
    }

    AnalysisWindow* analysis = form->analysisWindow();
    NoiseTab* tab = analysis->noiseTab();
    analysis->tabs()->setCurrentWidget(tab);
    tab->trialsField()->setValue(1000000);
    tab->findChild<QPushButton*>("runNoiseButton")->click();
    ASSERT_TRUE(tab->analysisRun()->isRunning());
    ASSERT_TRUE(activate(analysis));
    QTest::keyClick(analysis, Qt::Key_Escape);
    tab->analysisRun()->wait();
    EXPECT_EQ(tab->analysisRun()->status().left(8), "Stopped.");
}

TEST(WindowPlacement, AuxiliaryWindowsOpenOnTheScreen)
{
    const QRect screen(0, 0, 1600, 900);
    const struct {
        const char* what;
        QRect owner;
        QSize size;
        QRect placed;
    } cases[] = {
        {"beside, to the right", {0, 0, 500, 400}, {1000, 520}, {508, 0, 1000, 520}},
        {"too wide on the right: to the left", {900, 100, 600, 400}, {800, 520}, {92, 100, 800, 520}},
        {"no room either side: below", {0, 0, 865, 280}, {1000, 520}, {0, 288, 1000, 520}},
        {"no room either side: above", {100, 600, 865, 280}, {1000, 520}, {100, 72, 1000, 520}},
        {"no room around it: inside the screen", {0, 0, 865, 480}, {1000, 520}, {600, 0, 1000, 520}},
        {"larger than the screen: shrunk to it", {0, 0, 865, 480}, {2000, 1200}, {0, 0, 1600, 900}},
        {"owner low on the screen", {0, 700, 300, 100}, {600, 400}, {308, 500, 600, 400}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(placeBeside(c.owner, c.size, screen), c.placed) << c.what;
    // The first start: 110 characters of 7 px, within 90 % of the screen.
    EXPECT_EQ(firstStartWidth(850, 385, 110, 7, 1920), 850 - 385 + 770);
    EXPECT_EQ(firstStartWidth(850, 385, 110, 7, 1024), 921);
    EXPECT_EQ(firstStartWidth(850, 385, 110, 7, 800), 850);
}

TEST_F(Conventions, WindowsOpenInsideASmallScreen)
{
    AppWindow window;
    window.restoreWindowState();
    window.show();
    const QRect screen = window.screen()->availableGeometry();
    EXPECT_GE(window.width(), window.minimumSizeHint().width());
    window.form()->showTraining();
    window.form()->showPatternList();
    window.form()->showAnalysis();
    for (QWidget* w : {static_cast<QWidget*>(window.form()->trainingWindow()),
                       static_cast<QWidget*>(window.form()->patternListWindow()),
                       static_cast<QWidget*>(window.form()->analysisWindow())})
        EXPECT_TRUE(screen.contains(w->frameGeometry())) << w->objectName().toStdString();
}

// A terminated job's box adds what to fix; file errors read "FILE: what
// happened (reason)" and a file that could not be made names its folder.
TEST_F(Conventions, MessagesSayWhatToFixInTermsOfTheFiles)
{
    const QString folder = QString::fromStdString(dir.string());
    std::ofstream(dir / "adata200.dat") << "1 0 0 0 0 0 0 0 1\n9999 0 0 0 0 0 0 0 0\n";
    const struct {
        const char* reason;
        int aLength;
        QString advice;
    } cases[] = {
        {"VELD30.dat not available", 8, "veld200gSetup.dat is missing in " + folder + ". "},
        {"Simulation file not available ", 8, "nutest.dat is missing in " + folder + ";"},
        {"Unexpected End of File ADATA.DAT", 20,
         "A Len is 20, but the patterns in adata200.dat hold 9 values. Set A Len in veld200gSetup.dat to 9."},
        {"Unexpected End of File ADATA.DAT", 9, "adata200.dat in " + folder + " ends before the line"},
        {"MATRIX TOO BIG", 8, "A Len times B Len in veld200gSetup.dat is more than the matrix holds"},
        {"PROGRAM DONE", 8, ""},
    };
    for (const auto& c : cases) {
        const QString advice = jobAdvice(c.reason, folder, c.aLength);
        EXPECT_TRUE(c.advice.isEmpty() ? advice.isEmpty() : advice.startsWith(c.advice))
            << c.reason << ": " << advice.toStdString();
    }

    Outcome readOnly;
    readOnly.status = Outcome::Status::Failed;
    readOnly.message = ioErrorMessage(EROFS);
    readOnly.systemError = EROFS;
    readOnly.file = (dir / "vld33res.txt").string();
    EXPECT_EQ(commandErrorText(readOnly, "Solve").toStdString(),
              "vld33res.txt: File access denied (cannot make files in " + dir.string() + ": Read-only file system)");
    EXPECT_EQ(fileErrorText("new.csv", "not saved", "Permission denied"), "new.csv: not saved (Permission denied)");

    // A parameters file with a word where a number belongs names the line.
    std::ofstream(dir / "veld200gSetup.dat") << "2\n100\nnine\n8\n";
    add("1");
    ui->Button6->click();
    waitForRun();
    ASSERT_FALSE(fake.calls.empty());
    EXPECT_EQ(fake.calls.back().first, "veld200gSetup.dat, line 3: Invalid numeric input");
}
