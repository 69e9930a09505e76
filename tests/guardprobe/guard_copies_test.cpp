// SPDX-License-Identifier: GPL-3.0-or-later
// Two copies of one program: only the copy that started last ends itself
// with the notice, whichever of them checks; the older one goes on.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <vector>
#include <string>
#include <thread>

#include <csignal>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;
constexpr auto kTimeout = std::chrono::seconds(10);

// A running probe with pipes to its stdin and from its stdout; killed and
// reaped at the end unless it has been reaped already.
struct Probe {
    pid_t pid = -1;
    int toChild = -1;
    int fromChild = -1;

    Probe(const fs::path& exe, const char* mode, const char* argument = nullptr)
    {
        int in[2], out[2];
        if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, in[0], 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        const std::string path = exe.string();
        char* argv[] = {const_cast<char*>(path.c_str()), const_cast<char*>(mode), const_cast<char*>(argument), nullptr};
        if (posix_spawn(&pid, path.c_str(), &actions, nullptr, argv, environ) != 0)
            pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(in[0]);
        close(out[1]);
        toChild = in[1];
        fromChild = out[0];
    }
    ~Probe()
    {
        if (pid > 0) {
            kill(pid, SIGKILL);
            waitpid(pid, nullptr, 0);
        }
        close(toChild);
        close(fromChild);
    }

    // Reads the child's output until it contains `want`, the child closes it,
    // or the time is up.
    std::string readUntil(const std::string& want)
    {
        const auto deadline = Clock::now() + kTimeout;
        for (;;) {
            if (!want.empty() && output.find(want) != std::string::npos)
                return output;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
            pollfd pfd{fromChild, POLLIN, 0};
            if (left.count() <= 0 || poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
                return output;
            char buffer[4096];
            const ssize_t n = read(fromChild, buffer, sizeof buffer);
            if (n <= 0)
                return output;
            output.append(buffer, static_cast<std::size_t>(n));
        }
    }

    // The wait status once the child has ended; -1 if it still runs when the time is up.
    int waitExit()
    {
        int status = 0;
        for (const auto deadline = Clock::now() + kTimeout; Clock::now() < deadline;
             std::this_thread::sleep_for(std::chrono::milliseconds(20)))
            if (waitpid(pid, &status, WNOHANG) == pid) {
                pid = -1;
                return status;
            }
        return -1;
    }

    bool running()
    {
        if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == pid)
            pid = -1;
        return pid > 0;
    }

    std::string output;
};

// A copy of the probe under a name of its own, so that other runs of this
// test on the same machine are not counted.
struct ProbeCopy {
    fs::path path;
    ProbeCopy()
    {
        const fs::path probe = GUARD_PROBE_PATH;
        path = probe.parent_path() / ("guard_probe_" + std::to_string(getpid()));
        fs::copy_file(probe, path, fs::copy_options::overwrite_existing);
        fs::permissions(path, fs::perms::owner_all, fs::perm_options::add);
    }
    ~ProbeCopy()
    {
        std::error_code ec;
        fs::remove(path, ec);
    }
};

const char* const kNotice = "Only one instance of this program\nmay run at a time\nexiting program.\n";

// Asks a running probe to check once more; returns what it printed.
std::string checkAgain(Probe& probe)
{
    probe.output.clear();
    if (write(probe.toChild, "\n", 1) != 1)
        return "write failed";
    return probe.readUntil("PASS\n");
}

void expectEndedWithTheNotice(Probe& probe)
{
    EXPECT_EQ(probe.readUntil(""), kNotice);
    const int status = probe.waitExit();
    ASSERT_TRUE(status != -1 && WIFEXITED(status)) << "status " << status;
    EXPECT_EQ(WEXITSTATUS(status), 0);
}

// The newer copy checks: it ends, and the older one goes on.
TEST(GuardCopies, TheNewerCopyEndsWhenItChecks)
{
    ProbeCopy exe;
    Probe older(exe.path, "hold");
    ASSERT_GT(older.pid, 0);
    ASSERT_NE(older.readUntil("PASS\n").find("PASS\n"), std::string::npos) << older.output;
    {
        Probe newer(exe.path, "check");
        ASSERT_GT(newer.pid, 0);
        expectEndedWithTheNotice(newer);
    }
    EXPECT_TRUE(older.running());
    EXPECT_EQ(checkAgain(older), "PASS\n");
}

// The older copy checks while a newer one runs: it goes on working, and the
// newer one still ends at its own check.
TEST(GuardCopies, TheOlderCopyGoesOnWhileANewerOneRuns)
{
    ProbeCopy exe;
    Probe older(exe.path, "hold");
    ASSERT_GT(older.pid, 0);
    ASSERT_NE(older.readUntil("PASS\n").find("PASS\n"), std::string::npos) << older.output;
    Probe newer(exe.path, "late");
    ASSERT_GT(newer.pid, 0);
    ASSERT_NE(newer.readUntil("READY\n").find("READY\n"), std::string::npos) << newer.output;

    EXPECT_EQ(checkAgain(older), "PASS\n");
    EXPECT_TRUE(older.running());

    newer.output.clear();
    ASSERT_EQ(write(newer.toChild, "\n", 1), 1);
    expectEndedWithTheNotice(newer);
    EXPECT_EQ(checkAgain(older), "PASS\n");
}

// A newer copy with unsaved pairs ends at Solve with the notice, as always,
// and leaves the pairs in a recovery list, text for text.
TEST(GuardCopies, TheEndedCopyKeepsItsUnsavedPairsInARecoveryList)
{
    ProbeCopy exe;
    const fs::path dir = fs::temp_directory_path() / ("guard_recovery_" + std::to_string(getpid()));
    fs::create_directories(dir);
    Probe older(exe.path, "hold");
    ASSERT_GT(older.pid, 0);
    ASSERT_NE(older.readUntil("PASS\n").find("PASS\n"), std::string::npos) << older.output;
    {
        char* const args[] = {const_cast<char*>("window"), const_cast<char*>(dir.c_str())};
        Probe newer(exe.path, args[0], args[1]);
        ASSERT_GT(newer.pid, 0);
        ASSERT_NE(newer.readUntil("READY\n").find("READY\n"), std::string::npos) << newer.output;
        newer.output.clear();
        ASSERT_EQ(write(newer.toChild, "\n", 1), 1);
        expectEndedWithTheNotice(newer);
    }
    std::vector<fs::path> recovered;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.path().filename().string().starts_with("recovered-"))
            recovered.push_back(entry.path());
    ASSERT_EQ(recovered.size(), 1u);
    const std::string name = recovered[0].filename().string();
    EXPECT_EQ(name.size(), std::string("recovered-YYYYMMDD-HHMMSS.csv").size()) << name;
    const auto read = [](const fs::path& path) {
        std::ifstream in(path, std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    };
    const std::string expected = read(dir / "expected.csv");
    EXPECT_NE(expected.find("1e+300"), std::string::npos) << expected;
    EXPECT_EQ(read(recovered[0]), expected);
    fs::remove_all(dir);
}

} // namespace
