// SPDX-License-Identifier: GPL-3.0-or-later
// Saving and copying much of the pane: a progress dialog that can be
// cancelled, and a question before a big copy; small work shows neither.
#include <QAction>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGuiApplication>
#include <QProgressDialog>
#include <QPushButton>
#include <QTimer>

#include <string>

#include "pane/paneprogress.h"
#include "tests/gui/fixture.h"

using namespace duolink;

namespace {

QByteArray readAll(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("(unreadable)");
}

TEST_F(WindowInWorkFolder, BigPaneWorkShowsProgressAndAsksSmallWorkDoesNot)
{
    // Small limits stand in for the 50 and 100 MB of the program.
    PaneLimits limits;
    limits.progressAbove = 4u << 20;
    limits.showAfterMs = 0;
    limits.askBeforeCopying = 8u << 20;
    form->setPaneLimits(limits);
    form->show();

    enum class Work { Save, Copy };
    constexpr int kSmall = 1000, kBig = 400000; // about 12 MB
    const struct {
        const char* what;
        Work work;
        int lines;
        bool answer;  // to the question, when there is one
        bool cancel;  // in the progress dialog, when there is one
        bool asks, showsProgress, done;
    } cases[] = {
        {"small save", Work::Save, kSmall, true, true, false, false, true},
        {"big save", Work::Save, kBig, true, false, false, true, true},
        {"big save, cancelled", Work::Save, kBig, true, true, false, true, false},
        {"small copy", Work::Copy, kSmall, false, true, false, false, true},
        {"big copy, answered no", Work::Copy, kBig, false, false, true, false, false},
        {"big copy, cancelled", Work::Copy, kBig, true, true, true, true, false},
    };
    const QString target = QDir(work.path()).filePath("pane.txt");
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        ui->Memo1->clear();
        for (int i = 0; i < c.lines; ++i)
            ui->Memo1->appendLine("line " + std::to_string(i) + " of the pane, padded");
        ui->Memo1->selectAll();
        QFile::remove(target);
        {
            QFile old(target);
            ASSERT_TRUE(old.open(QIODevice::WriteOnly));
            old.write("old\n");
        }
        QGuiApplication::clipboard()->setText("before");
        fake.calls.clear();
        fake.fileAnswer = target;
        fake.questionAnswer = true; // replace the file
        fake.confirmAnswer = c.answer;

        // Watches for the dialog while the work lets the window paint.
        bool shown = false;
        QString label;
        QTimer watch;
        QObject::connect(&watch, &QTimer::timeout, [&] {
            auto* dialog = form->findChild<QProgressDialog*>("paneProgress");
            if (!dialog || !dialog->isVisible() || shown)
                return;
            shown = true;
            label = dialog->labelText();
            if (c.cancel)
                dialog->findChild<QPushButton*>()->click();
        });
        watch.start(0);
        (c.work == Work::Save ? ui->saveOutputAction : ui->copyAction)->trigger();
        watch.stop();

        EXPECT_EQ(shown, c.showsProgress) << label.toStdString();
        const bool asked = !fake.calls.empty() && fake.calls.back().kind == "confirm";
        EXPECT_EQ(asked, c.asks);
        if (asked) // the question says how much
            EXPECT_TRUE(fake.calls.back().first.contains(sizeText(ui->Memo1->selectionBytes())))
                << fake.calls.back().first.toStdString();

        QString text = ui->Memo1->text();
        if (c.work == Work::Save) {
            EXPECT_EQ(readAll(target), c.done ? text.toLatin1() + '\n' : QByteArray("old\n"));
            // Nothing half written is left beside it.
            EXPECT_EQ(QDir(work.path()).entryList(QDir::Files | QDir::Hidden), QStringList{"pane.txt"});
        } else {
            EXPECT_EQ(QGuiApplication::clipboard()->text(), c.done ? text : QString("before"));
        }
    }
}

} // namespace
