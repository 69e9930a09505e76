// SPDX-License-Identifier: GPL-3.0-or-later
// The window as a desktop application: resizing, the actions behind menus and
// shortcuts, the keyboard, the working folder, saving the pane, About, the
// remembered window state and the command line.
#include <QAction>
#include <QApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFile>
#include <QKeyEvent>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QProcess>
#include <QProgressBar>
#include <QPushButton>
#include <QSettings>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextBlock>
#include <QTextBrowser>
#include <QTimer>
#include <QTreeWidget>

#include "core/support/console.h"
#include "analysis/analysiswindow.h"
#include "pane/consoleview.h"
#include "app/appwindow.h"
#include "app/helpwindow.h"
#include "app/manual.h"
#include "app/settingsdialog.h"
#include "tests/gui/fixture.h"

using namespace duolink;

void PrintTo(const QRect& r, std::ostream* os)
{
    *os << r.x() << "," << r.y() << " " << r.width() << "x" << r.height();
}

namespace {

// Stands in for the desktop's browser.
class UrlCatcher : public QObject {
    Q_OBJECT
public slots:
    void open(const QUrl& url) { urls << url; }

public:
    QList<QUrl> urls;
};

// The designed place of every control at the form's default size.
struct Place {
    const char* name;
    QRect rect; // an empty size: only the position is fixed
};
std::vector<Place> designedPlaces()
{
    std::vector<Place> places = {
        {"Label1", {24, 18, 0, 0}},      {"Label2", {104, 18, 0, 0}},     {"Label3", {192, 18, 0, 0}},
        {"Label4", {192, 64, 0, 0}},     {"Edit1", {192, 34, 49, 21}},    {"Edit2", {192, 80, 121, 21}},
        {"Button1", {192, 120, 75, 25}}, {"Button2", {280, 120, 75, 25}}, {"Button3", {192, 152, 75, 25}},
        {"Button4", {192, 184, 75, 25}}, {"Button5", {280, 184, 75, 25}}, {"Button6", {192, 216, 75, 25}},
        {"Button7", {280, 216, 75, 25}}, {"Button8", {24, 344, 75, 25}},  {"Button9", {192, 248, 75, 25}},
        {"Button10", {200, 344, 75, 25}}, {"Button11", {112, 344, 75, 25}}, {"ProgressBar1", {24, 312, 217, 17}},
        {"Memo1", {449, 16, 385, 353}},
    };
    static const std::string names[16] = {"Edit3",  "Edit4",  "Edit5",  "Edit6",  "Edit7",  "Edit8",
                                          "Edit9",  "Edit10", "Edit11", "Edit12", "Edit13", "Edit14",
                                          "Edit15", "Edit16", "Edit17", "Edit18"};
    for (int k = 0; k < 16; ++k)
        places.push_back({names[k].c_str(), {k < 8 ? 24 : 104, 40 + (k % 8) * 32, 65, 21}});
    return places;
}

void expectPlaces(QWidget* form, const QSize& extra)
{
    for (Place p : designedPlaces()) {
        const auto* w = form->findChild<QWidget*>(QString::fromLatin1(p.name));
        ASSERT_NE(w, nullptr) << p.name;
        if (QLatin1String(p.name) == QLatin1String("Memo1"))
            p.rect.setSize(p.rect.size() + extra);
        if (p.rect.isEmpty())
            EXPECT_EQ(w->pos(), p.rect.topLeft()) << p.name;
        else
            EXPECT_EQ(w->geometry(), p.rect) << p.name;
    }
}

} // namespace

TEST_F(MainWindow, GrowingGivesThePaneAllTheExtraSpace)
{
    form->show();
    EXPECT_EQ(form->size(), QSize(850, 419));
    expectPlaces(form.get(), {0, 0});
    form->resize(1300, 800);
    expectPlaces(form.get(), {450, 381});
    form->resize(850, 419);
    expectPlaces(form.get(), {0, 0});

    // In the program's window the form is the middle part, at its designed
    // size, which is also the smallest.
    AppWindow window;
    window.show();
    EXPECT_EQ(window.centralWidget(), window.form());
    EXPECT_EQ(window.form()->size(), QSize(850, 419));
    EXPECT_EQ(window.windowTitle(), "VELD Duolink 200z - pattern association \u2014 Untitled[*]");
    window.resize(300, 200);
    EXPECT_EQ(window.form()->size(), QSize(850, 419));

    // Every command of the form is in a menu.
    QList<QAction*> listed;
    for (const QAction* menu : window.menuBar()->actions())
        listed += menu->menu()->actions();
    for (QAction* action : window.form()->actions())
        EXPECT_TRUE(listed.contains(action)) << action->text().toStdString();
}

TEST_F(MainWindow, ActionsCarryTheirShortcutsAndReachTheButtonsHandlers)
{
    using K = QKeySequence;
    const std::vector<std::pair<QAction*, QList<K>>> shortcuts = {
        {ui->openWorkingFolderAction, {K(Qt::CTRL | Qt::SHIFT | Qt::Key_O)}},
        {ui->loadMatrixAction, {K(Qt::CTRL | Qt::Key_L)}},
        {ui->saveMatrixAction, {K(Qt::CTRL | Qt::Key_M)}},
        {ui->savePatternListAction, {K(Qt::CTRL | Qt::Key_S)}},
        {ui->savePatternListAsAction, {K(Qt::CTRL | Qt::SHIFT | Qt::Key_S)}},
        {ui->saveOutputAction, {}},
        {ui->exitAction, {K(Qt::CTRL | Qt::Key_Q)}},
        {ui->solveAction, {K(Qt::Key_F5)}},
        {ui->predictAction, {K(Qt::Key_F6)}},
        {ui->addPairAction, {K(Qt::CTRL | Qt::Key_Return), K(Qt::CTRL | Qt::Key_Enter)}},
        {ui->updatePairAction, {}},
        {ui->deletePairAction, {}},
        {ui->nextPairAction, {K(Qt::CTRL | Qt::Key_Down), K(Qt::Key_PageDown)}},
        {ui->previousPairAction, {K(Qt::CTRL | Qt::Key_Up), K(Qt::Key_PageUp)}},
        {ui->resetListAction, {}},
        {ui->userManualAction, {K(Qt::Key_F1)}},
        {ui->aboutAction, {}},
    };
    for (const auto& [action, keys] : shortcuts) {
        ASSERT_NE(action, nullptr);
        EXPECT_EQ(action->shortcuts(), keys) << action->text().toStdString();
        EXPECT_TRUE(form->actions().contains(action)) << "works without a menu: " << action->text().toStdString();
    }

    // The list commands, through their actions only.
    for (const char* v : {"1", "2", "3"}) {
        typeA({v});
        ui->addPairAction->trigger();
    }
    EXPECT_EQ(ui->Edit1->text(), "    3");
    ui->previousPairAction->trigger();
    EXPECT_EQ(ui->Edit1->text(), "    2");
    EXPECT_EQ(ui->Edit3->text(), "    2.000");
    ui->nextPairAction->trigger();
    EXPECT_EQ(ui->Edit1->text(), "    3");
    typeA({"9"});
    ui->updatePairAction->trigger();
    EXPECT_EQ(list().aPatterns[3][1], 9.0);
    ui->deletePairAction->trigger();
    EXPECT_EQ(list().patternCount, 2);
    ui->resetListAction->trigger();
    EXPECT_EQ(list().patternCount, 0);
    EXPECT_EQ(ui->Edit1->text(), "    0");

    // The matrix commands ask for their file (cancelled here).
    fake.calls.clear();
    ui->saveMatrixAction->trigger();
    ui->loadMatrixAction->trigger();
    ASSERT_EQ(fake.calls.size(), 4u);
    EXPECT_EQ(fake.calls[0].kind, "save");
    EXPECT_EQ(fake.calls[2].kind, "open");

    QTimer::singleShot(0, ui->exitAction, &QAction::trigger);
    EXPECT_EQ(QApplication::exec(), 0);
}

TEST_F(MainWindow, KeyboardWalksTheFieldsThenTheButtonsAndNamesEveryField)
{
    QStringList expected;
    for (int e = 3; e <= 18; ++e)
        expected << QStringLiteral("Edit%1").arg(e);
    expected << "Button1" << "Button2" << "Button3" << "Button4" << "Button5" << "Button6" << "Button7"
             << "Button9" << "Button8" << "Button11" << "Button10" << "Memo1";
    QStringList chain;
    QWidget* w = ui->Edit3;
    for (int i = 0; i < expected.size(); ++i, w = w->nextInFocusChain()) {
        while (!w->objectName().startsWith("Edit") && !w->objectName().startsWith("Button") &&
               w->objectName() != "Memo1")
            w = w->nextInFocusChain(); // the inner parts of the pane
        chain << w->objectName();
    }
    EXPECT_EQ(chain, expected);

    for (int k = 0; k < 16; ++k)
        EXPECT_EQ(dataField(k)->accessibleName(), QStringLiteral("%1 value %2").arg(k < 8 ? "A" : "B").arg(k % 8 + 1));
    EXPECT_EQ(ui->Edit1->accessibleName(), "Current index");
    EXPECT_EQ(ui->Edit2->accessibleName(), "R2 correlation");

    // Return goes on to the next field, from A8 to B1 and from B8 to Add,
    // and leaves the next field's text selected for typing over.
    form->show();
    QApplication::setActiveWindow(form.get());
    for (const auto& [from, to] : std::vector<std::pair<QWidget*, QWidget*>>{
             {ui->Edit3, ui->Edit4}, {ui->Edit10, ui->Edit11}, {ui->Edit18, ui->Button1}}) {
        from->setFocus();
        testinput::key(from, Qt::Key_Return);
        EXPECT_EQ(QApplication::focusWidget(), to) << from->objectName().toStdString();
        if (auto* field = qobject_cast<QLineEdit*>(to))
            EXPECT_TRUE(field->hasSelectedText());
    }

    // In the pane, Page Up and Page Down scroll it instead of browsing the list.
    for (int key : {Qt::Key_PageUp, Qt::Key_PageDown}) {
        QKeyEvent override(QEvent::ShortcutOverride, key, Qt::NoModifier);
        override.ignore();
        QApplication::sendEvent(ui->Memo1, &override);
        EXPECT_TRUE(override.isAccepted());
    }
}

namespace {

class WorkingFolder : public MainWindow {
protected:
    void SetUp() override
    {
        previous = QDir::currentPath();
        QDir::setCurrent(start.path());
        MainWindow::SetUp();
    }
    void TearDown() override
    {
        MainWindow::TearDown();
        QDir::setCurrent(previous);
    }
    static void copyParameters(const QString& folder)
    {
        ASSERT_TRUE(QFile::copy(QStringLiteral(DUOLINK_TEST_DATA "/../../examples/veld200gSetup.dat"),
                                folder + "/veld200gSetup.dat"));
    }

    QString previous;
    QTemporaryDir start;
    QTemporaryDir other;
};

} // namespace

TEST_F(WorkingFolder, ChangingItMovesWhereSolveReadsAndWritesAndTheStatusFollows)
{
    AppWindow window;
    TForm2* f = window.form();
    const auto ui = std::make_unique<FormControls>(f);
    f->setDialogs(&fake);
    f->setProcessSource(&processes);
    const QString status = window.folderStatus()->text();
    EXPECT_TRUE(status.contains(QDir::toNativeSeparators(QDir::currentPath())));
    EXPECT_TRUE(status.contains("parameters file missing"));
    // The note is a link to the settings, which start from the example values.
    emit window.folderStatus()->linkActivated(QStringLiteral("settings"));
    auto* settings = f->findChild<SettingsDialog*>();
    ASSERT_TRUE(settings);
    EXPECT_TRUE(settings->fileMissing());
    delete settings;
    // The list's position stays beside the folder; a notice passes over it.
    EXPECT_EQ(window.listStatus()->text(), "Pair 0 of 0");
    ui->deletePairAction->trigger();
    EXPECT_EQ(window.statusBar()->currentMessage(), "Delete: the list is empty");
    EXPECT_EQ(window.listStatus()->text(), "Pair 0 of 0");

    // Folders that cannot be the working folder change nothing.
    QFile(other.filePath("plain")).open(QIODevice::WriteOnly);
    for (const QString& bad : {other.filePath("plain"), other.filePath("gone")}) {
        fake.fileAnswer = bad;
        ui->openWorkingFolderAction->trigger();
        EXPECT_EQ(fake.calls.back().kind, "error") << bad.toStdString();
        EXPECT_TRUE(fake.calls.back().first.contains(bad));
        EXPECT_EQ(f->workingFolder(), QDir(start.path()).canonicalPath());
    }
    EXPECT_EQ(window.folderStatus()->text(), status);

    fake.calls.clear();
    fake.fileAnswer = other.path();
    ui->openWorkingFolderAction->trigger();
    ASSERT_EQ(fake.calls.size(), 1u);
    EXPECT_EQ(fake.calls[0].kind, "folder");
    EXPECT_EQ(fake.calls[0].first, QDir(start.path()).canonicalPath()) << "the chooser starts in the old folder";
    EXPECT_EQ(f->workingFolder(), QDir(other.path()).canonicalPath());
    EXPECT_EQ(QDir::currentPath(), QDir(start.path()).canonicalPath()) << "the process stays where it is";
    EXPECT_TRUE(window.folderStatus()->text().contains(QDir(other.path()).canonicalPath()));

    // Solve and Predict through their actions, in the new folder.
    copyParameters(other.path());
    typeA({"1", "1"});
    ui->addPairAction->trigger();
    EXPECT_EQ(window.listStatus()->text(), "Pair 1 of 1");
    ui->solveAction->trigger();
    ASSERT_TRUE(QTest::qWaitFor([&] { return !f->isRunning(); }, 600000));
    EXPECT_EQ(fake.calls.size(), 1u) << fake.calls.back().first.toStdString();
    EXPECT_TRUE(QFile::exists(other.filePath("vld33res.txt")));
    EXPECT_TRUE(QFile::exists(other.filePath("adata200.dat")));
    EXPECT_FALSE(QFile::exists(start.filePath("vld33res.txt")));
    EXPECT_FALSE(window.folderStatus()->text().contains("missing")) << "brought up to date after Solve";
    const qsizetype lines = ui->Memo1->lineCount();
    ui->predictAction->trigger();
    EXPECT_EQ(ui->Memo1->lineCount(), lines + 3);
}

TEST_F(WorkingFolder, SaveOutputWritesThePaneAsUtf8LinesOrNothing)
{
    std::vector<std::string> posted;
    QObject::connect(form.get(), &TForm2::statusMessage, [&](const QString& text, int) { posted.push_back(text.toStdString()); });
    form->runCommand([this] { engine().consoleWriteLn("caf\xE9  "); });
    QByteArray expected;
    for (qsizetype i = 0; i < ui->Memo1->lineCount(); ++i)
        expected += ui->Memo1->line(i).toUtf8() + '\n';
    ASSERT_TRUE(expected.endsWith("caf\xC3\xA9  \n"));

    const QString path = other.filePath("pane.txt");
    fake.fileAnswer = path;
    ui->saveOutputAction->trigger();
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), expected);
    EXPECT_TRUE(fake.calls.size() == 1 && fake.calls[0].kind == "save");
    ASSERT_EQ(posted.size(), 1u);
    EXPECT_NE(posted[0].find("pane.txt"), std::string::npos);

    // A folder under the name, or a folder that is not there: an error that
    // names the file, and nothing written.
    QDir(other.path()).mkdir("folder");
    for (const QString& bad : {other.filePath("folder"), other.filePath("gone/pane.txt")}) {
        EXPECT_FALSE(form->saveOutput(bad));
        EXPECT_EQ(fake.calls.back().kind, "error");
        EXPECT_TRUE(fake.calls.back().first.contains(bad)) << fake.calls.back().first.toStdString();
    }
    EXPECT_EQ(QDir(other.path()).entryList(QDir::NoDotAndDotDot | QDir::AllEntries),
              (QStringList{"folder", "pane.txt"}));
    EXPECT_EQ(posted.size(), 1u);
}

TEST_F(MainWindow, AboutNamesTheVersionLicenceToolkitAndOffersTheManual)
{
    ui->aboutAction->trigger();
    auto* box = form->findChild<QMessageBox*>("aboutBox");
    ASSERT_NE(box, nullptr);
    EXPECT_TRUE(box->isVisible());
    EXPECT_EQ(box->text(), "Duolink " DUOLINK_VERSION);
    for (const QString& part : {QDir::toNativeSeparators(QDir::currentPath()), QString::fromLatin1(qVersion()),
                                QStringLiteral("GPL-3.0-or-later"), QStringLiteral("https://www.gnu.org/licenses/")})
        EXPECT_TRUE(box->informativeText().contains(part)) << part.toStdString();
    EXPECT_FALSE(box->iconPixmap().isNull());
    auto* manual = box->findChild<QPushButton*>("aboutManual");
    ASSERT_NE(manual, nullptr);
    manual->click();
    ASSERT_NE(form->helpWindow(), nullptr);
    EXPECT_TRUE(form->helpWindow()->isVisible());
    form->helpWindow()->close();
}

// The manual found first: the installed one, else the build folder's, else
// the source tree's.
TEST(Manual, TheInstalledManualComesFirst)
{
    QTemporaryDir root;
    const QString bin = root.filePath("prefix/bin");
    const QStringList candidates = manualCandidates(bin);
    ASSERT_EQ(candidates.size(), 3);
    EXPECT_EQ(QDir::cleanPath(candidates[0]), root.filePath("prefix/share/doc/duolink/manual.html"));
    EXPECT_EQ(QDir::cleanPath(candidates[1]), root.filePath("prefix/bin/docs/manual.html"));
    for (const QString& made : {candidates[1], candidates[0]}) {
        QDir().mkpath(QFileInfo(made).path());
        QFile(made).open(QIODevice::WriteOnly);
        EXPECT_EQ(findManual(bin), QDir::cleanPath(made));
    }
    for (const auto& [heading, slug] : std::vector<std::pair<QString, QString>>{
             {"The Analysis window", "the-analysis-window"},
             {"Run \u2192 Settings\u2026", "run--settings"},
             {"Training statistics (--stats FILE)", "training-statistics---stats-file"}})
        EXPECT_EQ(headingSlug(heading), slug);
}

// Help -> User Manual shows the manual in the program's own window, with its
// contents, search and the chapter of the window F1 was pressed in; the
// browser is a second choice.
TEST_F(MainWindow, TheManualOpensInAWindowOfItsOwnAtTheActiveWindowsChapter)
{
    ui->userManualAction->trigger();
    HelpWindow* help = form->helpWindow();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(help->browser()->toPlainText().contains("Pattern list files"));
    EXPECT_FALSE(help->contents()->findItems("Recall tab", Qt::MatchExactly | Qt::MatchRecursive).isEmpty());
    const auto topHeading = [help] {
        return help->browser()->cursorForPosition(QPoint(8, 8)).block().text().trimmed();
    };

    // Search: found after the cursor, again from the top, or not at all.
    EXPECT_TRUE(help->find("Solve"));
    EXPECT_EQ(help->browser()->textCursor().selectedText(), "Solve");
    EXPECT_FALSE(help->find("no such words in the manual"));
    QTest::keyClick(help, Qt::Key_F, Qt::ControlModifier);
    EXPECT_TRUE(help->searchField()->hasFocus() || !help->isActiveWindow());

    EXPECT_TRUE(help->showSection("noise-tab"));
    EXPECT_EQ(topHeading(), "Noise tab");
    EXPECT_FALSE(help->showSection("no-such-chapter"));

    form->showAnalysis();
    form->analysisWindow()->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(form->analysisWindow()));
    ui->userManualAction->trigger();
    EXPECT_EQ(topHeading(), "The Analysis window");
    EXPECT_EQ(form->helpWindow(), help) << "one help window";

    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("file", &catcher, "open");
    help->openInBrowserAction()->trigger();
    QDesktopServices::unsetUrlHandler("file");
    ASSERT_EQ(catcher.urls.size(), 1);
    EXPECT_TRUE(QFileInfo(catcher.urls[0].toLocalFile()).isFile()) << catcher.urls[0].toString().toStdString();
    help->close();
    form->analysisWindow()->close();
}

TEST_F(MainWindow, TheWindowRemembersWhereItWasAndHowBig)
{
    QTemporaryDir config;
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, config.path());
    const QString organization = QCoreApplication::organizationName();
    QCoreApplication::setOrganizationName("duolink-test");
    {
        AppWindow window;
        window.show();
        window.resize(1100, 640);
        window.move(40, 30);
        window.saveWindowState();
    }
    AppWindow window;
    window.restoreWindowState();
    window.show();
    EXPECT_EQ(window.size(), QSize(1100, 640));
    EXPECT_EQ(window.form()->findChild<ConsoleView*>("Memo1")->width(), 385 + 250);
    EXPECT_TRUE(QFile::exists(config.path() + "/duolink-test/" + QCoreApplication::applicationName() + ".conf"));
    QCoreApplication::setOrganizationName(organization);
}

TEST(CommandLine, VersionHelpAndTheFolderArgument)
{
    QTemporaryDir dir;
    QFile(dir.filePath("plain")).open(QIODevice::WriteOnly);
    struct Case {
        QStringList args;
        int status;
        QString out, err; // expected beginnings
    };
    const std::vector<Case> cases = {
        {{"--version"}, 0, "duolink " DUOLINK_VERSION "\nCopyright (C) 2026 The Duolink developers\nLicense GPLv3+", ""},
        {{"--help"}, 0, "Usage: ", ""},
        {{dir.filePath("gone")}, 2, "", "duolink: " + dir.filePath("gone") + ": no such folder\n"},
        {{dir.filePath("plain")}, 2, "", "duolink: " + dir.filePath("plain") + ": not a folder\n"},
        {{dir.path(), dir.path()}, 2, "", "duolink: one working folder at most\n"},
        {{"--colour"}, 2, "", "duolink: Unknown option 'colour'."},
    };
    for (const Case& c : cases) {
        QProcess p;
        p.start(QStringLiteral(DUOLINK_PROGRAM), c.args);
        ASSERT_TRUE(p.waitForFinished(20000)) << c.args.join(' ').toStdString();
        const QString out = QString::fromLocal8Bit(p.readAllStandardOutput());
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        EXPECT_EQ(p.exitCode(), c.status) << c.args.join(' ').toStdString();
        EXPECT_TRUE(c.out.isEmpty() ? out.isEmpty() : out.startsWith(c.out)) << out.toStdString();
        EXPECT_TRUE(c.err.isEmpty() ? err.isEmpty() : err.startsWith(c.err)) << err.toStdString();
    }
}

#include "desktop_test.moc"
