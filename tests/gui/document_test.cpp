// SPDX-License-Identifier: GPL-3.0-or-later
// The pattern list as the user's document: the caption names its file and
// marks unsaved pairs, Save writes to that file, Open Recent lists the last
// lists, replacing unsaved pairs asks first, and a recovery list left by an
// ended run is offered at the next start.
#include <QAction>
#include <QFile>
#include <QMenu>

#include <fstream>

#include "controllers/listcontroller.h"
#include "app/appwindow.h"
#include "tests/gui/fixture.h"

using namespace duolink;

namespace {

class Document : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(work.isValid());
        ListController::clearRecentPatternLists();
        window.form()->setDialogs(&fake);
        window.form()->setProcessSource(&processes);
        window.form()->setWorkingFolder(work.path());
    }
    void add(const char* a1)
    {
        auto* field = window.form()->findChild<QLineEdit*>("Edit3");
        field->setText(a1);
        window.actions()->addPair->trigger();
    }
    int callsOf(const QString& kind) const
    {
        return int(std::count_if(fake.calls.begin(), fake.calls.end(), [&](const auto& c) { return c.kind == kind; }));
    }
    QString file(const QString& name) const { return work.filePath(name); }

    QTemporaryDir work;
    FakeDialogs fake;
    OnlyThisProgram processes;
    AppWindow window;
};

TEST_F(Document, TheCaptionFollowsTheListsFileAndItsUnsavedPairs)
{
    const QString caption = "VELD Duolink 200z - pattern association \u2014 ";
    ListController* lists = window.form()->lists();
    const struct {
        const char* what;
        std::function<void()> step;
        QString title;
        bool modified;
        int saveDialogs;
    } steps[] = {
        {"a new list", [] {}, "Untitled[*]", false, 0},
        {"a pair added", [&] { add("1"); }, "Untitled[*]", true, 0},
        {"Save asks for a name the first time",
         [&] { fake.fileAnswer = file("first"); window.actions()->savePatternList->trigger(); }, "first.csv[*]", false, 1},
        {"another pair", [&] { add("2"); }, "first.csv[*]", true, 1},
        {"Save writes to the same file", [&] { window.actions()->savePatternList->trigger(); }, "first.csv[*]", false, 1},
        {"Save As asks again", [&] { fake.fileAnswer = file("second.csv"); window.actions()->savePatternListAs->trigger(); },
         "second.csv[*]", false, 2},
        {"Undo marks it again", [&] { window.actions()->undo->trigger(); }, "second.csv[*]", true, 2},
    };
    for (const auto& s : steps) {
        SCOPED_TRACE(s.what);
        s.step();
        EXPECT_EQ(window.windowTitle(), caption + s.title);
        EXPECT_EQ(window.isWindowModified(), s.modified);
        EXPECT_EQ(callsOf("save"), s.saveDialogs);
    }
    EXPECT_EQ(lists->documentPath(), file("second.csv"));
    std::ifstream saved(file("first.csv").toStdString());
    EXPECT_EQ(std::count(std::istreambuf_iterator<char>(saved), {}, '\n'), 1 + 2) << "the header and two pairs";
}

TEST_F(Document, OpenRecentListsTheLastListsAndGreysMissingOnes)
{
    for (int k = 1; k <= ListController::kRecentCount + 2; ++k) {
        add("1");
        fake.fileAnswer = file(QString("list%1.csv").arg(k));
        window.actions()->savePatternListAs->trigger();
    }
    QFile::remove(file("list9.csv"));
    emit window.recentMenu()->aboutToShow();
    QStringList shown;
    QList<bool> enabled;
    for (const QAction* a : window.recentMenu()->actions())
        if (!a->isSeparator()) {
            shown << a->text();
            enabled << a->isEnabled();
        }
    EXPECT_EQ(shown, QStringList({"&1 list10.csv", "&2 list9.csv", "&3 list8.csv", "&4 list7.csv", "&5 list6.csv",
                                  "&6 list5.csv", "&7 list4.csv", "&8 list3.csv", "&Clear Menu"}));
    EXPECT_EQ(enabled, QList<bool>({true, false, true, true, true, true, true, true, true}));

    // Opening one: the list and the caption follow.
    window.recentMenu()->actions()[2]->trigger();
    EXPECT_EQ(window.form()->lists()->documentPath(), file("list8.csv"));
    EXPECT_EQ(window.form()->patternList().patternCount, 8);
    window.findChild<QAction*>("clearRecentAction")->trigger();
    EXPECT_TRUE(ListController::recentPatternLists().isEmpty());
}

// Open, a recent list and Reset ask about unsaved pairs before anything
// else; Cancel keeps the list, Save writes it first.
TEST_F(Document, ReplacingUnsavedPairsAsksSaveDiscardOrCancelFirst)
{
    for (const char* name : {"other.csv", "recent.csv"})
        std::ofstream(file(name).toStdString()) << "7,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1\n";
    const struct {
        const char* what;
        std::function<void()> command;
        const char* question;
    } commands[] = {
        {"Open", [&] { fake.fileAnswer = file("other.csv"); window.actions()->openPatternList->trigger(); },
         "Save the 2 pairs before opening another list?"},
        {"recent", [&] { window.form()->lists()->openPatternListFile(file("recent.csv")); },
         "Save the 2 pairs before opening another list?"},
        {"Reset", [&] { window.actions()->resetList->trigger(); }, "Save the 2 pairs before the reset?"},
    };
    // Save writes to the list's file, without a file dialog.
    add("3");
    fake.fileAnswer = file("kept.csv");
    window.actions()->savePatternListAs->trigger();
    int round = 0;
    for (const auto& c : commands) {
        SCOPED_TRACE(c.what);
        fake.unsavedAnswer = Dialogs::UnsavedAnswer::Discard;
        window.actions()->resetList->trigger();
        const std::string mark = std::to_string(++round * 11);
        add(mark.c_str());
        add("2");
        fake.calls.clear();
        fake.unsavedAnswer = Dialogs::UnsavedAnswer::Cancel;
        c.command();
        ASSERT_EQ(fake.calls.size(), 1u) << "nothing before the question, nothing after Cancel";
        EXPECT_EQ(fake.calls[0].first, c.question);
        EXPECT_EQ(window.form()->patternList().patternCount, 2);

        fake.unsavedAnswer = Dialogs::UnsavedAnswer::Save;
        fake.fileAnswer = file("other.csv");
        const QString target = window.form()->lists()->documentPath();
        c.command();
        std::ifstream kept(target.toStdString());
        const std::string text(std::istreambuf_iterator<char>(kept), {});
        EXPECT_NE(text.find("\n" + mark + ","), std::string::npos) << text;
        EXPECT_NE(window.form()->patternList().patternCount, 2);
    }
}

TEST_F(Document, ARecoveryListIsOfferedOnceAtTheNextStart)
{
    add("5");
    const QString recovered = window.form()->lists()->writeRecoveryList(work.path());
    ASSERT_FALSE(recovered.isEmpty());
    EXPECT_TRUE(QFileInfo(recovered).fileName().startsWith("recovered-"));
    EXPECT_TRUE(window.form()->lists()->writeRecoveryList(work.path()) != recovered) << "never over another file";

    AppWindow next;
    next.form()->setDialogs(&fake);
    fake.calls.clear();
    fake.questionAnswer = true;
    next.form()->lists()->offerRecoveryList(work.path());
    ASSERT_EQ(callsOf("question"), 1);
    EXPECT_TRUE(fake.calls[0].first.contains("recovered-")) << fake.calls[0].first.toStdString();
    EXPECT_EQ(next.form()->patternList().patternCount, 1);
    EXPECT_EQ(next.form()->patternList().aPatterns[1][1], 5.0);
    next.form()->lists()->offerRecoveryList(work.path());
    EXPECT_EQ(callsOf("question"), 1) << "asked once for each file";
}

} // namespace
