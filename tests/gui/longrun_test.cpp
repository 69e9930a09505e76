// SPDX-License-Identifier: GPL-3.0-or-later
// A long Solve in the real window: the window goes on handling events while
// user input stays blocked, Stop ends the run cleanly, and closing the window
// asks first.
#include <QAction>
#include <QApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>

#include <algorithm>
#include <fstream>
#include <functional>

#include "core/engine/stop.h"
#include "pane/consoleview.h"
#include "tests/gui/fixture.h"

using namespace duolink;

namespace {

// Records when a widget paints.
struct PaintWatch : QObject {
    QElapsedTimer clock;
    qint64 paintedAt = -1;
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint && paintedAt < 0)
            paintedAt = clock.elapsed();
        return QObject::eventFilter(watched, event);
    }
};

class LongRun : public WindowInWorkFolder {
protected:
    void SetUp() override
    {
        WindowInWorkFolder::SetUp();
        // Two pairs with the same A pattern and different B patterns: the
        // training never converges, so only Stop ends it.
        std::ofstream(dir / "veld200gSetup.dat")
            << "4\n999999\n9\n8\n0\n0.5\n0.001\n2\n10000\n0.1\n";
        for (const int oneAt : {8, 9}) {
            for (int f = 0; f < 16; ++f)
                dataField(f)->setText(f == 0 || f == oneAt ? "1" : "0");
            ui->Button1->click();
        }
        form->show();
    }
    // Runs `during` once the run has gone on for a moment, then Solve to its end.
    void solveWhile(const std::function<void()>& during)
    {
        QObject::connect(form.get(), &TForm2::runStarted, form.get(),
                         [during] { QTimer::singleShot(100, during); }, Qt::SingleShotConnection);
        ui->Button6->click();
        waitForRun();
    }
};

} // namespace

TEST_F(LongRun, PaintsAndRefusesInputDuringARunThenStops)
{
    auto* other = new QAction(form.get()); // an action another part of the window adds
    form->addAction(other);
    EXPECT_FALSE(ui->stopAction->isEnabled());
    int started = 0, finished = 0;
    QObject::connect(form.get(), &TForm2::runStarted, [&] { ++started; });
    QObject::connect(form.get(), &TForm2::runFinished, [&] { ++finished; });

    PaintWatch watch;
    bool checked = false;
    solveWhile([&] {
        EXPECT_TRUE(form->isRunning());
        EXPECT_TRUE(ui->stopAction->isEnabled());
        EXPECT_FALSE(other->isEnabled());

        // Input to the controls changes nothing.
        const QString count = ui->Edit1->text();
        testinput::click(ui->Button1, ui->Button1->rect().center());
        testinput::click(ui->Button9, ui->Button9->rect().center());
        testinput::type(dataField(0), "7");
        EXPECT_EQ(ui->Edit1->text(), count);
        EXPECT_EQ(list().patternCount, 2);
        EXPECT_EQ(dataField(0)->text(), "1");

        // A part of the window to repaint is repainted soon.
        ui->Label1->installEventFilter(&watch);
        watch.clock.start();
        ui->Label1->update();
        QTimer::singleShot(150, [&] {
            EXPECT_TRUE(form->isRunning());
            EXPECT_GE(watch.paintedAt, 0);
            EXPECT_LT(watch.paintedAt, 100);
            checked = true;
            ui->stopAction->trigger();
        });
    });
    EXPECT_TRUE(checked);
    EXPECT_EQ(started, 1);
    EXPECT_EQ(finished, 1);
    EXPECT_FALSE(form->isRunning());
    EXPECT_FALSE(ui->stopAction->isEnabled());
    EXPECT_TRUE(other->isEnabled());
    EXPECT_TRUE(fake.calls.empty());

    const auto lines = paneLines();
    ASSERT_GT(lines.size(), 30u);
    EXPECT_EQ(lines.back(), "PROGRAM DONE");
    EXPECT_EQ(std::count(lines.begin(), lines.end(), kStoppedLine), 1);

    // The list stays and the window takes input again.
    testinput::click(ui->Button1, ui->Button1->rect().center());
    EXPECT_EQ(list().patternCount, 3);
}

TEST_F(LongRun, ClosingTheWindowDuringARunAsksFirst)
{
    for (const bool yes : {false, true}) {
        SCOPED_TRACE(yes ? "yes" : "no");
        fake.calls.clear();
        fake.questionAnswer = yes;
        // Solve inside the program's event loop, which a yes ends after the run.
        QTimer::singleShot(0, [&] {
            solveWhile([&] {
                form->close();
                EXPECT_TRUE(form->isVisible());
                if (!yes) // the run goes on until stopped
                    QTimer::singleShot(100, [&] {
                        EXPECT_TRUE(form->isRunning());
                        ui->stopAction->trigger();
                    });
            });
            if (!yes)
                QApplication::exit(1);
        });
        EXPECT_EQ(QApplication::exec(), yes ? 0 : 1);
        ASSERT_EQ(fake.calls.size(), 1u);
        EXPECT_EQ(fake.calls[0].kind, "question");
        EXPECT_EQ(fake.calls[0].first, "A training is running. Stop it and exit?");
        EXPECT_EQ(form->isVisible(), !yes);
        const auto lines = paneLines();
        EXPECT_EQ(lines.back(), "PROGRAM DONE");
        EXPECT_EQ(std::count(lines.begin(), lines.end(), kStoppedLine), yes ? 2 : 1); // one run each
    }
}
