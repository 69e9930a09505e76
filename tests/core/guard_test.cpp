// SPDX-License-Identifier: GPL-3.0-or-later
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <unistd.h>

#include "core/guard/instances.h"
#include "core/guard/processes.h"

using namespace duolink;
namespace fs = std::filesystem;

namespace {

using Lines = std::vector<std::string>;

// Counts over a given list as the program "duolink" and records everything
// the count reports, in order, with message boxes and match notices marked.
struct Count : ProcessSource, InstanceLog {
    ProcessList list;
    Lines out;
    InstanceCount result;

    explicit Count(ProcessList given) : list(std::move(given)) { result = countInstances(*this, *this); }
    std::string ownFileName() override { return "duolink"; }
    ProcessList processes() override { return list; }
    void line(const std::string& text) override { out.push_back(text); }
    void message(const std::string& text) override { out.push_back("[box] " + text); }
    void matchFound(int entriesBefore) override { out.push_back("[found] " + std::to_string(entriesBefore)); }
};

const std::string kHead = "App File 2: duolink";
const std::string kRule(30, '-');

} // namespace

TEST(InstanceCount, LogsEveryEntryAndCountsOnlyExactNameMatches)
{
    const Count one({{"systemd", "duolink", "Duolink", "duolink2", "bash"}, {}});
    EXPECT_TRUE(one.result.valid());
    EXPECT_EQ(one.out, (Lines{kHead, kRule, "systemd", "duolink", "[found] 1", "Duolink", "duolink2", "bash",
                              "There are 5 process(s)", "There are 1  instance(s) of process", ""}));

    const Count two({{"duolink", "sh", "duolink"}, {}});
    EXPECT_FALSE(two.result.valid());
    EXPECT_EQ(two.out, (Lines{kHead, kRule, "duolink", "[found] 0", "sh", "duolink", "[found] 2",
                              "There are 3 process(s)", "There are 2  instance(s) of process", ""}));
}

TEST(InstanceCount, FailedListingShowsOopsAndPasses)
{
    const Count failed({{}, {}, "Permission denied"});
    EXPECT_TRUE(failed.result.valid());
    EXPECT_EQ(failed.out, (Lines{kHead, kRule, "[box] Oops...Permission denied",
                                 "There are 0 process(s)", "There are 0  instance(s) of process", ""}));
}

// A made-up proc tree covers the cases that the live system shows only now and then.
TEST(ProcFs, NamesComeFromTheExeLinkOrFallBackToCommAndCmdline)
{
    const fs::path root = fs::temp_directory_path() / ("duolink-proc-" + std::to_string(getpid()));
    const auto process = [&](const std::string& pid) { fs::create_directories(root / pid); return root / pid; };
    const auto write = [](const fs::path& file, const std::string& text) { std::ofstream(file, std::ios::binary) << text; };

    fs::create_symlink("/usr/bin/alpha", process("1") / "exe");
    fs::create_symlink("/opt/x/beta (deleted)", process("2") / "exe");
    write(process("3") / "comm", "kworker/0:1\n");     // kernel thread
    write(process("4") / "comm", "averyveryverylo\n"); // cut at 15
    write(process("4") / "cmdline", std::string("/usr/bin/averyveryverylongname\0--x\0", 35));
    write(process("5") / "comm", "rewrittenargsxx\n"); // cut, arguments rewritten
    write(process("5") / "cmdline", "other: worker");
    process("6");                                      // ended while listed
    fs::create_symlink("/usr/bin/me", process("self") / "exe");
    // The start time is field 22 of "stat", counted after the name, which may
    // hold blanks and parentheses.
    write(process("self") / "stat", "77 (a) (b c) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 123456 20 21\n");
    write(process("1") / "stat", "1 (alpha) R");
    // Another copy of this program: only its start is read.
    fs::create_symlink("/usr/bin/me", process("7") / "exe");
    write(process("7") / "stat", "7 (me) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 99 20 21\n");
    write(process("2") / "stat", "2 (beta) S 1 2 3 4 5 6 7 8 9 10 11 12 13 14 15 16 17 18 98 20 21\n");

    ProcFsSource source(root);
    EXPECT_EQ(source.ownFileName(), "me");
    const ProcessStart self = source.ownStart();
    EXPECT_TRUE(self.known && self.pid == 77 && self.ticks == 123456u);
    EXPECT_FALSE(procStart(root / "1").known);
    EXPECT_FALSE(procStart(root / "6").known);
    ProcessList list = source.processes();
    fs::remove_all(root);
    ASSERT_FALSE(list.error);
    ASSERT_EQ(list.starts.size(), list.names.size());
    for (size_t k = 0; k < list.names.size(); ++k)
        EXPECT_EQ(list.starts[k].known ? list.starts[k].pid : 0, list.names[k] == "me" ? 7 : 0) << list.names[k];
    std::sort(list.names.begin(), list.names.end());
    EXPECT_EQ(list.names, (Lines{"alpha", "averyveryverylongname", "beta", "kworker/0:1", "me", "rewrittenargsxx"}));

    const ProcessList missing = ProcFsSource(root).processes();
    EXPECT_EQ(missing.error, "No such file or directory");
    EXPECT_TRUE(missing.names.empty());
}

TEST(ProcFs, TheRunningTestFindsItself)
{
    ProcessSource& source = systemProcesses();
    EXPECT_EQ(source.ownFileName(), "core_tests");
    const ProcessList list = source.processes();
    ASSERT_FALSE(list.error);
    EXPECT_GE(std::count(list.names.begin(), list.names.end(), "core_tests"), 1);
    EXPECT_GT(list.names.size(), 1u);
}
