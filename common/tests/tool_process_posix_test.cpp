#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <optional>
#include <ostream>
#include <sstream>
#include <string>
#include <string_view>

#include "open_descriptors.hpp"
#include "standin_fixture.hpp"
#include "tool_process.hpp"

namespace {

namespace fs = std::filesystem;

// A file `name` in `dir` with these bytes and permissions.
std::string tool_file(const fs::path& dir, std::string_view name, std::string_view content,
                      fs::perms perms = fs::perms::owner_all) {
    const fs::path file = dir / name;
    standin::write_file(file, content);
    fs::permissions(file, perms);
    return file.string();
}

// A shell script `name` in `dir` that may be run.
std::string script(const fs::path& dir, std::string_view name, std::string_view body) {
    return tool_file(dir, name, "#!/bin/sh\n" + std::string(body));
}

// The search path with `dir` in front, for one scope.
class SearchPathWith {
  public:
    explicit SearchPathWith(const fs::path& dir) {
        if (const char* path = std::getenv("PATH")) previous_ = path;
        standin::set_env("PATH", dir.string() + ":" + previous_.value_or("/usr/bin:/bin"));
    }
    ~SearchPathWith() {
        if (previous_) {
            standin::set_env("PATH", *previous_);
        } else {
            ::unsetenv("PATH");
        }
    }
    SearchPathWith(const SearchPathWith&) = delete;
    SearchPathWith& operator=(const SearchPathWith&) = delete;

  private:
    std::optional<std::string> previous_;
};

// ---------------------------------------------------------------------------------------------------
// Every start, failed or not: the system's own reason when it fails, and no descriptor kept.

struct StartCase {
    const char* name;
    // Sets the case up in a scratch directory that is also first on the search path; gives the program.
    std::function<std::string(const fs::path& dir)> program;
    int error_number = 0;  // 0: the tool runs and ends with exit code 0

    friend void PrintTo(const StartCase& c, std::ostream* os) { *os << c.name; }
};

class ToolStart : public ::testing::TestWithParam<StartCase> {
  protected:
    // What Qt sets up once for all the processes it starts is in place before a test counts.
    void SetUp() override { ASSERT_TRUE(common::run_tool(standin::TOOL, {"--list", "usb"}).has_value()); }

    standin::Tool tool;
    standin::ScratchDir dir;
};

TEST_P(ToolStart, RunsOrGivesTheSystemsError_AndKeepsNoDescriptorOpen) {
    const StartCase& c = GetParam();
    const SearchPathWith search_path(dir.path());
    const std::string program = c.program(dir.path());

    const auto before = test_support::open_descriptors();
    const auto run = common::run_tool(program, {"--list", "usb"});
    EXPECT_EQ(test_support::open_descriptors(), before);

    if (c.error_number == 0) {
        ASSERT_TRUE(run.has_value()) << run.error().message;
        EXPECT_EQ(run->exit_code, 0u);
    } else {
        ASSERT_FALSE(run.has_value());
        const base::Error expected = base::os_error(c.error_number);
        EXPECT_EQ(run.error().message, expected.message);
        EXPECT_EQ(run.error().kind, expected.kind);
    }
}

const std::string TOOL_NAME = "STM32_Programmer_CLI";

INSTANTIATE_TEST_SUITE_P(
    Programs, ToolStart,
    ::testing::Values(
        StartCase{"MissingFile", [](const fs::path& dir) { return (dir / TOOL_NAME).string(); }, ENOENT},
        StartCase{"FileNotExecutable",
                  [](const fs::path& dir) {
                      return tool_file(dir, TOOL_NAME, "#!/bin/sh\n",
                                       fs::perms::owner_read | fs::perms::owner_write);
                  },
                  EACCES},
        StartCase{"Directory", [](const fs::path& dir) { return dir.string(); }, EACCES},
        StartCase{"NotAProgram",
                  [](const fs::path& dir) { return tool_file(dir, TOOL_NAME, "not a program\n"); }, ENOEXEC},
        StartCase{
            "InterpreterMissing",
            [](const fs::path& dir) { return tool_file(dir, TOOL_NAME, "#!/nonexistent/interpreter\n"); },
            ENOENT},
        StartCase{"BareNameNotOnTheSearchPath", [](const fs::path&) { return TOOL_NAME; }, ENOENT},
        StartCase{"EmptyName", [](const fs::path&) { return std::string(); }, ENOENT},
        StartCase{"ToolByPath", [](const fs::path&) { return std::string(standin::TOOL); }},
        StartCase{"BareNameOnTheSearchPath",
                  [](const fs::path& dir) {
                      fs::create_symlink(standin::TOOL, dir / TOOL_NAME);
                      return TOOL_NAME;
                  }},
        StartCase{"Script", [](const fs::path& dir) { return script(dir, TOOL_NAME, "exit 0\n"); }}),
    [](const ::testing::TestParamInfo<StartCase>& info) { return std::string(info.param.name); });

// ---------------------------------------------------------------------------------------------------
// The tool runs in a process group of its own: what the station's terminal sends the station's group
// does not reach it.

// Prints the script's process id and its process group's.
const std::string REPORT_GROUP = "read -r stat </proc/$$/stat\nset -- $stat\necho \"$$ $5\"\n";

TEST(ToolProcessGroup, ToolLeadsAGroupOfItsOwn) {
    const standin::ScratchDir dir;
    const auto run = common::run_tool(script(dir.path(), "report_group", REPORT_GROUP), {});
    ASSERT_TRUE(run.has_value()) << run.error().message;
    std::istringstream reported(run->output);
    long pid = 0;
    long group = 0;
    ASSERT_TRUE(reported >> pid >> group) << run->output;
    EXPECT_EQ(group, pid);
    EXPECT_NE(group, static_cast<long>(::getpgrp()));
}

// For one scope this test process leads a process group, so that a signal to "the station's group"
// reaches nothing beyond this process and what it starts, and it counts the interrupts it is sent
// instead of ending. A handler, unlike an ignored signal, is not handed down to a started tool.
class InterruptCountingGroup {
  public:
    InterruptCountingGroup() : previous_group_(::getpgrp()) {
        if (previous_group_ != ::getpid()) moved_ = ::setpgid(0, 0) == 0;
        struct sigaction count {};
        count.sa_handler = [](int) { interrupts = interrupts + 1; };
        sigemptyset(&count.sa_mask);
        ::sigaction(SIGINT, &count, &previous_action_);
    }
    ~InterruptCountingGroup() {
        ::sigaction(SIGINT, &previous_action_, nullptr);
        if (moved_) ::setpgid(0, previous_group_);
    }
    InterruptCountingGroup(const InterruptCountingGroup&) = delete;
    InterruptCountingGroup& operator=(const InterruptCountingGroup&) = delete;

    [[nodiscard]] static bool leads_its_group() { return ::getpgrp() == ::getpid(); }

    static inline volatile sig_atomic_t interrupts = 0;

  private:
    pid_t previous_group_;
    bool moved_ = false;
    struct sigaction previous_action_ {};
};

TEST(ToolProcessGroup, InterruptSentToTheStationsGroup_DoesNotReachTheTool) {
    const standin::ScratchDir dir;
    const InterruptCountingGroup station;
    ASSERT_TRUE(InterruptCountingGroup::leads_its_group());
    // While it runs, the tool itself interrupts the group it is given, then says that it is still there.
    const auto tool = script(dir.path(), "interrupt", "kill -s INT -- -\"$1\"\necho still running\n");

    const auto run = common::run_tool(tool, {std::to_string(::getpgrp())});

    ASSERT_TRUE(run.has_value()) << run.error().message;
    EXPECT_EQ(InterruptCountingGroup::interrupts, 1);
    EXPECT_EQ(run->exit_code, 0u);
    EXPECT_EQ(run->output, "still running\n");
}

}  // namespace
