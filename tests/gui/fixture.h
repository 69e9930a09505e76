// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once
// The window under test, with dialogs that record what they were asked.
#include <QDir>
#include <QLineEdit>
#include <QStringList>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <filesystem>
#include <memory>
#include <optional>
#include <vector>

#include "core/support/console.h"
#include "core/guard/processes.h"
#include "pane/consoleview.h"
#include "common/dialogs.h"
#include "form/form2.h"
#include "app/formactions.h"
#include "core/patterns/patterns.h"
#include "core/engine/state.h"
#include "core/engine/stop.h"
#include "tests/gui/controls.h"
#include "tests/gui/input.h"

namespace duolink {

// Records what the window asks and answers with what the test chose.
struct FakeDialogs : Dialogs {
    struct Call {
        QString kind, first, second;
    };
    std::vector<Call> calls;
    std::optional<QString> fileAnswer;
    bool questionAnswer = true;

    std::optional<QString> openFileName(QWidget*, const QString& filter, const QString& lastName) override
    {
        calls.push_back({"open", filter, lastName});
        return fileAnswer;
    }
    std::optional<QString> saveFileName(QWidget*, const QString& filter, const QString& lastName) override
    {
        calls.push_back({"save", filter, lastName});
        return fileAnswer;
    }
    std::optional<QString> folderName(QWidget*, const QString& start) override
    {
        calls.push_back({"folder", start, {}});
        return fileAnswer;
    }
    QString inputBox(QWidget*, const QString& caption, const QString& prompt, const QString& text) override
    {
        calls.push_back({"input", caption, prompt + "|" + text});
        return {};
    }
    bool question(QWidget*, const QString& text) override
    {
        calls.push_back({"question", text, {}});
        return questionAnswer;
    }
    void messageBox(QWidget*, const QString& text) override { calls.push_back({"message", text, {}}); }
    void errorBox(QWidget*, const QString& message) override { calls.push_back({"error", message, {}}); }
    // Discard: a Reset or an Open over unsaved pairs goes ahead.
    UnsavedAnswer unsavedAnswer = UnsavedAnswer::Discard;
    UnsavedAnswer unsavedQuestion(QWidget*, const QString& text) override
    {
        calls.push_back({"unsaved", text, {}});
        return unsavedAnswer;
    }
    bool confirmAnswer = true;
    bool confirm(QWidget*, const QString& text) override
    {
        calls.push_back({"confirm", text, {}});
        return confirmAnswer;
    }
};

// The processes the guard sees: this program alone, so that suites running
// at the same time do not stop each other.
struct OnlyThisProgram : ProcessSource {
    std::string ownFileName() override { return "gui_tests"; }
    ProcessList processes() override { return {{"init", "gui_tests"}, {}, std::nullopt}; }
};

class MainWindow : public ::testing::Test {
protected:
    void SetUp() override
    {
        form = std::make_unique<TForm2>();
        new FormActions(form.get());
        ui = std::make_unique<FormControls>(form.get());
        form->setDialogs(&fake);
        form->setProcessSource(&processes);
    }
    void TearDown() override
    {
        // Every command ends its pane line, whichever way it ends.
        EXPECT_EQ(form->engine().consoleChannel().pendingLine, "");
        ui.reset();
        form.reset();
    }

    // The window's engine and list.
    EngineState& engine() const { return form->engine(); }
    PatternList& list() const { return form->patternList(); }

    QLineEdit* dataField(int k) const { return form->findChild<QLineEdit*>(QStringLiteral("Edit%1").arg(k + 3)); }
    // Types the A values into Edit3..Edit10 (the B fields keep their text).
    void typeA(const std::vector<QString>& values)
    {
        for (int i = 0; i < 8; ++i) {
            dataField(i)->clear();
            testinput::type(dataField(i), i < int(values.size()) ? values[i] : QString("0"));
        }
    }
    // Solve, returning once the run has ended (or was refused).
    void solve()
    {
        ui->Button6->click();
        waitForRun();
    }
    // Returns once the running Solve, if any, has ended.
    void waitForRun() const { ASSERT_TRUE(QTest::qWaitFor([this] { return !form->isRunning(); }, 600000)); }
    QStringList fieldTexts() const
    {
        QStringList out;
        for (int k = 0; k < 16; ++k)
            out << dataField(k)->text();
        return out;
    }

    FakeDialogs fake;
    OnlyThisProgram processes;
    std::unique_ptr<TForm2> form;
    std::unique_ptr<FormControls> ui;
};

// The window working in a scratch folder of its own, for the commands that
// write files.
class WindowInWorkFolder : public MainWindow {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(work.isValid());
        previous = QDir::currentPath();
        QDir::setCurrent(work.path());
        dir = work.path().toStdString();
        MainWindow::SetUp();
    }
    void TearDown() override
    {
        MainWindow::TearDown();
        QDir::setCurrent(previous);
    }
    std::vector<std::string> paneLines() const
    {
        std::vector<std::string> out;
        for (qsizetype i = 0; i < ui->Memo1->lineCount(); ++i)
            out.emplace_back(ui->Memo1->lineView(i));
        return out;
    }

    QTemporaryDir work;
    QString previous;
    std::filesystem::path dir;
};

} // namespace duolink
