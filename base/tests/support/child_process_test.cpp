#include "test_support/child_process.hpp"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>

namespace {

namespace fs = std::filesystem;
using namespace std::chrono_literals;
using test_support::ChildOptions;
using test_support::ChildProcess;
using test_support::Readiness;

std::string read_file(const fs::path& path) {
    std::ifstream in(path);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

class ChildProcessTest : public testing::Test {
  protected:
    void SetUp() override {
        std::string pattern = (fs::temp_directory_path() / "child-process-XXXXXX").string();
        ASSERT_NE(mkdtemp(pattern.data()), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    ChildProcess start(ChildOptions options) {
        auto child = ChildProcess::start(options);
        EXPECT_TRUE(child) << child.error().message;
        return child ? std::move(*child) : ChildProcess{};
    }

    fs::path dir_;
};

TEST_F(ChildProcessTest, GetsItsArgumentsEnvironmentDirectoryAndDescriptorThree) {
    int pipe_fds[2];
    ASSERT_EQ(pipe(pipe_fds), 0);
    auto child = start({.argv = {"sh", "-c", "echo \"$0 $CHILD_TEST_VALUE $(pwd)\"; echo three >&3", "first"},
                        .log = dir_ / "log",
                        .env = {{"CHILD_TEST_VALUE", "given"}},
                        .cwd = dir_,
                        .fd3 = pipe_fds[1]});
    close(pipe_fds[1]);
    EXPECT_EQ(child.wait_exit(20s), 0);
    EXPECT_EQ(read_file(dir_ / "log"), "first given " + dir_.string() + "\n");
    char buffer[16] = {};
    EXPECT_EQ(read(pipe_fds[0], buffer, sizeof buffer - 1), 6);
    EXPECT_STREQ(buffer, "three\n");
    close(pipe_fds[0]);
}

TEST_F(ChildProcessTest, ProgramThatCannotBeExecuted_EndsWith127) {
    auto child = start({.argv = {"/nonexistent/program"}});
    EXPECT_EQ(child.wait_exit(20s), 127);
}

TEST_F(ChildProcessTest, Stop_EndsAChildThatHeedsSigtermWithIt) {
    auto child = start({.argv = {"sleep", "600"}});
    child.stop();
    EXPECT_EQ(child.exit_code(), 128 + SIGTERM);
    EXPECT_FALSE(child.running());
}

TEST_F(ChildProcessTest, Stop_KillsAChildThatIgnoresSigtermOnceTheGraceHasPassed) {
    // The shell says it is ready only once the trap is set, so the SIGTERM cannot come before it.
    auto child = start(
        {.argv = {"sh", "-c", "trap '' TERM; echo ready; while :; do sleep 1; done"}, .log = dir_ / "log"});
    ASSERT_EQ(test_support::wait_until_ready(
                  child, [&] { return read_file(dir_ / "log") == "ready\n"; }, 20s),
              Readiness::Ready);
    child.stop(200ms);
    EXPECT_EQ(child.exit_code(), 128 + SIGKILL);
}

TEST_F(ChildProcessTest, WaitUntilReady_TellsAChildThatEndedFromOneThatIsNotReadyYet) {
    auto ended = start({.argv = {"true"}});
    EXPECT_EQ(test_support::wait_until_ready(
                  ended, [] { return false; }, 20s),
              Readiness::Ended);
    auto slow = start({.argv = {"sleep", "600"}});
    EXPECT_EQ(test_support::wait_until_ready(
                  slow, [] { return false; }, 50ms),
              Readiness::TimedOut);
}

TEST_F(ChildProcessTest, RunCommand_GivesTheExitCodeAndStandardOutputAndLogsStandardError) {
    const auto result =
        test_support::run_command({"sh", "-c", "echo out; echo err >&2; exit 3"}, dir_ / "errors");
    EXPECT_EQ(result.status, 3);
    EXPECT_EQ(result.out, "out\n");
    EXPECT_EQ(read_file(dir_ / "errors"), "err\n");
}

}  // namespace
