// SPDX-License-Identifier: GPL-3.0-or-later
// Open and Save Pattern List and the list window, driven through the real
// window in a scratch working folder.
#include <QAction>
#include <QDir>
#include <QItemSelectionModel>
#include <QPushButton>
#include <QTableView>
#include <QTemporaryDir>

#include <cstring>
#include <csignal>
#include <filesystem>

#include <sys/resource.h>

#include "core/engine/solve.h"
#include "core/patterns/patternlist.h"
#include "list/patternlistwindow.h"
#include "list/patterntablemodel.h"
#include "tests/core/testsupport.h"
#include "tests/gui/fixture.h"

using namespace duolink;
using duolink::testing::readFile;
using duolink::testing::repeat;
using duolink::testing::writeFile;
namespace fs = std::filesystem;

namespace {

const fs::path kExamples = fs::path(DUOLINK_TEST_DATA) / ".." / ".." / "examples";

using Store = std::array<TPatternVector, kPatternCapacity + 1>;

bool sameBits(const Store& x, const Store& y)
{
    return std::memcmp(x.data(), y.data(), sizeof(Store)) == 0;
}

class PatternListInWindow : public WindowInWorkFolder {
protected:
    void SetUp() override
    {
        WindowInWorkFolder::SetUp();
        list().noteListInFiles();
    }
    // Types sixteen values into the fields and presses Add.
    void addPair(const QStringList& values)
    {
        for (int f = 0; f < 16; ++f) {
            dataField(f)->clear();
            testinput::type(dataField(f), values[f]);
        }
        ui->Button1->click();
    }
    void open(const QString& name)
    {
        fake.fileAnswer = work.filePath(name);
        ui->openPatternListAction->trigger();
    }
    void save(const QString& name)
    {
        fake.fileAnswer = work.filePath(name);
        ui->savePatternListAsAction->trigger();
    }
    QStringList callsOf(const QString& kind) const
    {
        QStringList out;
        for (const auto& call : fake.calls)
            if (call.kind == kind)
                out << call.first;
        return out;
    }
    // Everything a failed command must leave as it was.
    struct State {
        Store a, b;
        int count, current;
        QString edit1;
        QStringList fields;
    };
    State state() const { return {list().aPatterns, list().bPatterns, list().patternCount, list().currentIndex, ui->Edit1->text(), fieldTexts()}; }
    void expectUnchanged(const State& s) const
    {
        EXPECT_TRUE(sameBits(list().aPatterns, s.a) && sameBits(list().bPatterns, s.b));
        EXPECT_EQ(list().patternCount, s.count);
        EXPECT_EQ(list().currentIndex, s.current);
        EXPECT_EQ(ui->Edit1->text(), s.edit1);
        EXPECT_EQ(fieldTexts(), s.fields);
    }

};

const QStringList kPair1 = {"0.1", "1", "-0", "2.5e-7", "1e300", "0", "3", "0.7",
                            "1", "1", "1", "0", "0", "0", "0", "0.333333333333"};
const QStringList kPair2 = {"1", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "0", "1"};

} // namespace

TEST_F(PatternListInWindow, SaveResetOpenGivesTheSameStoreBitForBit)
{
    addPair(kPair1);
    addPair(kPair2);
    addPair(kPair1);
    const Store a = list().aPatterns, b = list().bPatterns;
    QStringList status;
    QObject::connect(form.get(), &TForm2::statusMessage, [&](const QString& text, int) { status << text; });

    save("list"); // the extension is added
    ASSERT_TRUE(fs::exists(work.filePath("list.csv").toStdString()));
    EXPECT_EQ(status.last(), "Saved 3 pairs to list.csv");

    ui->Button9->click();
    list().aPatterns.fill({});
    list().bPatterns.fill({});
    status.clear();
    open("list.csv");
    EXPECT_TRUE(callsOf("question").isEmpty());
    EXPECT_TRUE(callsOf("error").isEmpty()) << callsOf("error").join("\n").toStdString();
    EXPECT_TRUE(sameBits(list().aPatterns, a) && sameBits(list().bPatterns, b));
    EXPECT_EQ(list().patternCount, 3);
    EXPECT_EQ(list().currentIndex, 1);
    EXPECT_EQ(ui->Edit1->text(), "    1");
    EXPECT_EQ(fieldTexts().mid(0, 3), QStringList({"    0.100", "    1.000", "    0.000"}));
    EXPECT_EQ(status.last(), "Opened 3 pairs from list.csv");

    // Saving again over the file asks first.
    save("list.csv");
    EXPECT_EQ(callsOf("question"), QStringList{"list.csv already exists. Replace it?"});

    // A file of no pairs gives an empty list, and the status bar says so.
    writeFile(work.filePath("empty.csv").toStdString(), std::string(kPatternListHeader) + "\n");
    ui->Button9->click();
    open("empty.csv");
    EXPECT_EQ(list().patternCount, 0);
    EXPECT_EQ(status.last(), "empty.csv held no pairs");
}

TEST_F(PatternListInWindow, OpensTheJobFilesOfTheLastSolve)
{
    fs::copy_file(kExamples / kParametersFileName, fs::path(work.path().toStdString()) / kParametersFileName);
    addPair(kPair2);
    addPair({"0", "0", "1", "1", "0", "0", "0", "0", "0", "0", "0", "0", "1", "1", "0", "0.25"});
    const Store a = list().aPatterns, b = list().bPatterns;
    ui->Button6->click();
    waitForRun();
    ASSERT_TRUE(callsOf("error").isEmpty()) << callsOf("error").join("\n").toStdString();

    ui->Button9->click();
    open(kADataFileName);
    EXPECT_TRUE(callsOf("error").isEmpty()) << callsOf("error").join("\n").toStdString();
    EXPECT_EQ(list().patternCount, 2);
    EXPECT_TRUE(sameBits(list().aPatterns, a) && sameBits(list().bPatterns, b));
}

TEST_F(PatternListInWindow, AFailedOpenChangesNothing)
{
    addPair(kPair1);
    addPair(kPair2);
    ui->Button5->click();
    const State before = state();

    const std::pair<const char*, std::string> files[] = {
        {"bad.csv", repeat("1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1\n", 3) + "1,0,0,0,0,0,0,0,0,0,0,0,0,0,x,1\n"},
        {"long.csv", repeat("1,0,0,0,0,0,0,0,0,0,0,0,0,0,0,1\n", 257)},
        {"missing.csv", ""},
    };
    const QStringList messages = {"bad.csv, line 4, column B7: \"x\" is not a number",
                                  "long.csv holds 257 pairs; the list takes at most 256",
                                  "missing.csv: the file does not exist"};
    for (const auto& [name, text] : files)
        if (!text.empty())
            writeFile(work.filePath(name).toStdString(), text);
    for (const auto& [name, text] : files)
        open(QString::fromLatin1(name));
    EXPECT_EQ(callsOf("error"), messages);
    EXPECT_TRUE(callsOf("question").isEmpty());
    expectUnchanged(before);

    // Unsaved pairs: cancelled at the question, which comes before the file dialog.
    writeFile(work.filePath("one.csv").toStdString(), "1,1,1,0,0,0,0,0,0,0,0,0,0,0,0,0\n");
    fake.unsavedAnswer = Dialogs::UnsavedAnswer::Cancel;
    fake.calls.clear();
    open("one.csv");
    EXPECT_EQ(callsOf("unsaved"), QStringList{"Save the 2 pairs before opening another list?"});
    EXPECT_TRUE(callsOf("open").isEmpty());
    expectUnchanged(before);

    // Discarded: position 2 keeps what it held, as after Delete.
    fake.unsavedAnswer = Dialogs::UnsavedAnswer::Discard;
    open("one.csv");
    EXPECT_EQ(list().patternCount, 1);
    EXPECT_EQ(list().currentIndex, 1);
    EXPECT_EQ(list().aPatterns[1][3], 1.0);
    EXPECT_EQ(list().aPatterns[1][9], 1.0);
    EXPECT_TRUE(std::memcmp(&list().aPatterns[2], &before.a[2], sizeof(TPatternVector)) == 0);

    // An empty list: no position, the fields keep their text.
    writeFile(work.filePath("empty.csv").toStdString(), std::string(kPatternListHeader) + "\n");
    const QStringList fields = fieldTexts();
    open("empty.csv");
    EXPECT_EQ(list().patternCount, 0);
    EXPECT_EQ(list().currentIndex, 0);
    EXPECT_EQ(ui->Edit1->text(), "    0");
    EXPECT_EQ(fieldTexts(), fields);
}

TEST_F(PatternListInWindow, AFailedSaveLeavesTheOldFileWhole)
{
    addPair(kPair2);
    save("list.csv");
    const std::string old = readFile(work.filePath("list.csv").toStdString());
    for (int k = 0; k < 20; ++k)
        addPair(kPair1);

    // The new file would pass a file-size limit: writing it fails.
    const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit previousLimit{};
    ::getrlimit(RLIMIT_FSIZE, &previousLimit);
    rlimit limit = previousLimit;
    limit.rlim_cur = old.size() + 10;
    ::setrlimit(RLIMIT_FSIZE, &limit);
    save("list.csv");
    ::setrlimit(RLIMIT_FSIZE, &previousLimit);
    std::signal(SIGXFSZ, previousHandler);

    ASSERT_EQ(callsOf("error").size(), 1);
    EXPECT_TRUE(callsOf("error").first().startsWith("list.csv: not saved (")) << callsOf("error").first().toStdString();
    EXPECT_EQ(readFile(work.filePath("list.csv").toStdString()), old);
    EXPECT_EQ(QDir(work.path()).entryList(QDir::Files), QStringList{"list.csv"});
}

TEST_F(PatternListInWindow, TheTableFollowsTheListAndBrowsesIt)
{
    ui->showPatternListAction->trigger();
    PatternListWindow* window = form->patternListWindow();
    ASSERT_NE(window, nullptr);
    QTableView* table = window->table();
    PatternTableModel* model = window->model();
    const auto cell = [&](int row, int column) { return model->index(row, column).data().toString(); };
    const auto selectedRow = [&] {
        const QModelIndexList rows = table->selectionModel()->selectedRows();
        return rows.size() == 1 ? rows.first().row() : -1;
    };
    EXPECT_EQ(model->rowCount(), 0);
    EXPECT_EQ(model->headerData(0, Qt::Horizontal).toString(), "Pair");
    EXPECT_EQ(model->headerData(16, Qt::Horizontal).toString(), "B8");
    EXPECT_EQ(model->headerData(17, Qt::Horizontal).toString(), "A parity");

    addPair(kPair1);
    addPair(kPair2);
    addPair(kPair2);
    EXPECT_EQ(model->rowCount(), 3);
    EXPECT_EQ(selectedRow(), 2);
    EXPECT_EQ((QStringList{cell(0, 0), cell(0, 1), cell(0, 16), cell(0, 17), cell(0, 18)}),
              (QStringList{"1", "0.100", "0.333", "0.000", "1.000"}));
    EXPECT_TRUE(model->flags(model->index(0, 1)) & Qt::ItemIsEditable);
    EXPECT_FALSE(model->flags(model->index(0, 17)) & Qt::ItemIsEditable);

    // Selecting a row browses to it, as Next and Previous do.
    QString status;
    QObject::connect(form.get(), &TForm2::statusMessage, [&](const QString& text, int) { status = text; });
    table->selectRow(0);
    EXPECT_EQ(list().currentIndex, 1);
    EXPECT_EQ(ui->Edit1->text(), "    1");
    EXPECT_EQ(dataField(0)->text(), "    0.100");
    EXPECT_EQ(status.left(7), "Pair 1 ");

    dataField(0)->setText("5");
    ui->Button3->click(); // Update
    EXPECT_EQ(cell(0, 1), "5.000");
    ui->Button4->click(); // Next
    EXPECT_EQ(selectedRow(), 1);
    ui->Button2->click(); // Delete
    EXPECT_EQ(model->rowCount(), 2);
    EXPECT_EQ(selectedRow(), 1);
    ui->Button9->click(); // Reset
    EXPECT_EQ(model->rowCount(), 0);

    // A full list, and the row of the current pair.
    writeFile(work.filePath("full.csv").toStdString(), repeat("0,0,0,0,0,0,0,0,0,0,0,0,0,0,0,0.5\n", 256));
    open("full.csv");
    EXPECT_EQ(model->rowCount(), 256);
    EXPECT_EQ(selectedRow(), 0);
    EXPECT_EQ(cell(255, 0), "256");
    EXPECT_EQ(cell(255, 16), "0.500");
    table->selectRow(255);
    EXPECT_EQ(ui->Edit1->text(), "  256");
    ui->Button4->click(); // Next can go no further
    EXPECT_EQ(selectedRow(), 255);
}
