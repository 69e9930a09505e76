// SPDX-License-Identifier: GPL-3.0-or-later
// Every save the user names in the window: an existing file is replaced only
// after a yes, and a target that is not a regular file is refused untouched.
#include <QAction>
#include <QPushButton>

#include <functional>
#include <sys/stat.h>

#include "training/trainingwindow.h"
#include "tests/core/testsupport.h"
#include "tests/gui/fixture.h"

using namespace duolink;
using duolink::testing::readFile;
using duolink::testing::writeFile;
namespace fs = std::filesystem;

namespace {

using SaveTargets = WindowInWorkFolder;

TEST_F(SaveTargets, EverySaveAsksBeforeReplacingAndRefusesWhatIsNotARegularFile)
{
    for (int f = 0; f < 16; ++f)
        dataField(f)->setText(f % 3 ? "1" : "0");
    ui->Button1->click();
    ui->showTrainingAction->trigger();
    TrainingWindow* training = form->trainingWindow();
    ASSERT_NE(training, nullptr);

    const struct {
        const char* name;
        const char* extension;
        std::function<void()> save;
    } saves[] = {
        {"Save Output As", "txt", [&] { ui->saveOutputAction->trigger(); }},
        {"Save Matrix", "vmat2", [&] { ui->saveMatrixAction->trigger(); }},
        {"Save Pattern List", "csv", [&] { ui->savePatternListAction->trigger(); }},
        {"Save Chart As", "png", [&] { training->saveChartAs(); }},
        {"Save Statistics As", "csv", [&] { training->saveStatisticsAs(); }},
    };
    enum class Target { Fifo, Folder, FileKept, FileReplaced };
    for (const auto& save : saves) {
        for (Target target : {Target::Fifo, Target::Folder, Target::FileKept, Target::FileReplaced}) {
            SCOPED_TRACE(std::string(save.name) + " case " + std::to_string(int(target)));
            const fs::path path = dir / (std::string("target.") + save.extension);
            fs::remove_all(path);
            switch (target) {
            case Target::Fifo: ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); break;
            case Target::Folder: fs::create_directory(path); break;
            default: writeFile(path, "old"); break;
            }
            fake.calls.clear();
            fake.fileAnswer = QString::fromStdString(path.string());
            fake.questionAnswer = target == Target::FileReplaced;
            save.save();

            ASSERT_GE(fake.calls.size(), 2u);
            EXPECT_EQ(fake.calls[0].kind, "save");
            const auto& answer = fake.calls[1];
            struct stat st{};
            ASSERT_EQ(::lstat(path.c_str(), &st), 0);
            switch (target) {
            case Target::Fifo:
            case Target::Folder:
                EXPECT_EQ(answer.kind, "error");
                EXPECT_TRUE(answer.first.contains(fake.fileAnswer->section('/', -1)));
                EXPECT_TRUE(answer.first.contains(target == Target::Fifo ? "is not a regular file" : "is a folder"))
                    << answer.first.toStdString();
                EXPECT_EQ(fake.calls.size(), 2u);
                EXPECT_TRUE(target == Target::Fifo ? S_ISFIFO(st.st_mode) : S_ISDIR(st.st_mode));
                break;
            case Target::FileKept:
            case Target::FileReplaced:
                EXPECT_EQ(answer.kind, "question");
                EXPECT_EQ(answer.first, "target." + QString(save.extension) + " already exists. Replace it?");
                EXPECT_EQ(fake.calls.size(), 2u) << fake.calls.back().first.toStdString();
                EXPECT_EQ(readFile(path) == "old", target == Target::FileKept);
                break;
            }
        }
    }
    // No temporary file is left behind.
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_FALSE(entry.path().filename().string().starts_with(".target")) << entry.path();
}

} // namespace
