#include "common/stm32_programmer.hpp"

#include <gtest/gtest.h>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "standin_fixture.hpp"

namespace {

using base::ErrorKind;
using common::DeviceKind;

const std::string MARKER(common::DFU_COUNT_MARKER);

class Stm32Programmer : public ::testing::Test {
  protected:
    // A case's answer: a named stand-in scenario after "scenario:", otherwise the raw output itself.
    void answer(const std::string& text, int exit_code) {
        const std::string prefix = "scenario:";
        if (text.rfind(prefix, 0) == 0) {
            tool.scenario(text.substr(prefix.size()));
        } else {
            tool.answer_raw(text, exit_code);
        }
    }

    standin::Tool tool;
};

// ---------------------------------------------------------------------------------------------------
// USB probe: the listing's text decides, whatever the exit code.

struct UsbCase {
    const char* name;
    std::string output;
    bool ready = false;
    std::string error = {};  // empty: no error expected
    int exit_code = 0;

    friend void PrintTo(const UsbCase& c, std::ostream* os) { *os << c.name; }
};

class UsbProbe : public Stm32Programmer, public ::testing::WithParamInterface<UsbCase> {};

TEST_P(UsbProbe, ReadsTheDeviceCountAfterTheFirstMarker) {
    const UsbCase& c = GetParam();
    tool.answer_raw(c.output, c.exit_code);
    const auto result = common::stm32_probe_usb(standin::TOOL);
    if (c.error.empty()) {
        ASSERT_TRUE(result.has_value()) << result.error().message;
        EXPECT_EQ(*result, c.ready);
    } else {
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error().kind, ErrorKind::Other);
        EXPECT_EQ(result.error().message, c.error);
    }
}

const std::string UNEXPECTED = "Unexpected response from STM32:\n";
const std::string TWO_DEVICES =
    "Looking for 1 device connected through USB, found 2\nCannot know which one to connect to";

INSTANTIATE_TEST_SUITE_P(
    Outputs, UsbProbe,
    ::testing::Values(
        UsbCase{"NoDeviceTextWinsOverACountOfOne", "No STM32 device\r\n" + MARKER + "1\r\n", false},
        UsbCase{"OneThenCrLf_Ready", "banner\r\n" + MARKER + "1\r\n\r\n  Device Index : USB1\r\n", true},
        UsbCase{"ZeroThenCrLf_NotReady", MARKER + "0\r\n", false},
        UsbCase{"TwoThenCrLf_CannotChoose", MARKER + "2\r\n", false, TWO_DEVICES},
        UsbCase{"MaximumCount_CannotChoose", MARKER + "255\r\n", false,
                "Looking for 1 device connected through USB, found 255\nCannot know which one to connect to"},
        UsbCase{"OneAsTheLastCharacter_Ready", MARKER + "1", true},
        UsbCase{"OneThenBareLineFeed_InvalidDigit", MARKER + "1\nmore\nlines\n", false,
                UNEXPECTED + "ParseIntError { kind: InvalidDigit }"},
        UsbCase{"MarkerThenCarriageReturn_Empty", MARKER + "\r\n", false,
                UNEXPECTED + "ParseIntError { kind: Empty }"},
        UsbCase{"ThreeHundred_PosOverflow", MARKER + "300\r\n", false,
                UNEXPECTED + "ParseIntError { kind: PosOverflow }"},
        UsbCase{"LeadingBlank_InvalidDigit", MARKER + " 1\r\n", false,
                UNEXPECTED + "ParseIntError { kind: InvalidDigit }"},
        UsbCase{"DigitThenLetter_InvalidDigit", MARKER + "2a\r\n", false,
                UNEXPECTED + "ParseIntError { kind: InvalidDigit }"},
        UsbCase{"PlusOne_Ready", MARKER + "+1\r\n", true},
        UsbCase{"LeadingZeros_Ready", MARKER + "001\r\n", true},
        UsbCase{"FirstMarkerDecides", MARKER + "0\r\n" + MARKER + "1\r\n", false},
        UsbCase{"EmptyOutput_QuotedEmptyText", "", false, UNEXPECTED + "\"\""},
        UsbCase{"NoMarker_QuotedOutput", "A\r\nB\r\n", false, UNEXPECTED + "\"A\\r\\nB\\r\\n\""},
        UsbCase{"InvalidUtf8WithoutMarker_ShowsReplacementCharacter", "\xff\x1b[0m 'x'", false,
                UNEXPECTED + "\"\xEF\xBF\xBD\\u{1b}[0m 'x'\""},
        UsbCase{"InvalidUtf8BeforeMarker_CountStillRead", "\xff\xfe\xc3" + MARKER + "1\r\n", true},
        UsbCase{"ExitCodeIsNotLookedAt", MARKER + "1\r\n", true, {}, 1}));

TEST_F(Stm32Programmer, UsbListingOfTheTool_GivesNoneOneOrTooMany) {
    tool.scenario("usb_devices=0\n");
    EXPECT_EQ(common::stm32_probe_usb(standin::TOOL), false);
    tool.scenario("usb_devices=1\n");
    EXPECT_EQ(common::stm32_probe_usb(standin::TOOL), true);
    tool.scenario("usb_devices=2\n");
    EXPECT_EQ(common::stm32_probe_usb(standin::TOOL).error().message, TWO_DEVICES);
}

TEST_F(Stm32Programmer, DeviceThatComesUpLate_IsNotReadyUntilItDoes) {
    tool.scenario("not_ready=2\n");
    std::vector<bool> answers;
    for (int i = 0; i < 4; ++i)
        answers.push_back(common::probe_device(DeviceKind::Valve, standin::TOOL).value());
    EXPECT_EQ(answers, (std::vector<bool>{false, false, true, true}));
}

// ---------------------------------------------------------------------------------------------------
// SWD probe: any "Error" in the output means not reachable; nothing else counts.

struct SwdCase {
    const char* name;
    std::string scenario;  // raw output unless it starts with "scenario:"
    bool ready;
    int exit_code = 0;

    friend void PrintTo(const SwdCase& c, std::ostream* os) { *os << c.name; }
};

class SwdProbe : public Stm32Programmer, public ::testing::WithParamInterface<SwdCase> {};

TEST_P(SwdProbe, ReadyUnlessTheOutputHoldsError) {
    const SwdCase& c = GetParam();
    answer(c.scenario, c.exit_code);
    EXPECT_EQ(common::stm32_probe_swd(standin::TOOL), c.ready);
}

INSTANTIATE_TEST_SUITE_P(Outputs, SwdProbe,
                         ::testing::Values(SwdCase{"TargetFound", "scenario:swd=ok\n", true},
                                           SwdCase{"NoTarget", "scenario:swd=no-target\n", false},
                                           SwdCase{"NoDebugProbe", "scenario:swd=no-probe\n", false},
                                           SwdCase{"ColouredError", "scenario:swd=no-target\nansi=1\n",
                                                   false},
                                           SwdCase{"EmptyOutput", "", true},
                                           SwdCase{"LowerCaseErrorOnly", "error: something\r\n", true},
                                           SwdCase{"NonZeroExitWithoutError", "Voltage : 3.23V\r\n", true, 3},
                                           SwdCase{"ErrorAnywhere", "xxErroryy", false}));

TEST_F(Stm32Programmer, TargetThatComesUpLate_IsNotReadyUntilItDoes) {
    tool.scenario("not_ready=1\n");
    EXPECT_EQ(common::probe_device(DeviceKind::WQ, standin::TOOL), false);
    EXPECT_EQ(common::probe_device(DeviceKind::WQ, standin::TOOL), true);
}

// ---------------------------------------------------------------------------------------------------
// Flashing: exit code 0 and all three success lines, or the whole output in the message.

struct FlashCase {
    const char* name;
    std::string scenario;  // raw output unless it starts with "scenario:"
    bool succeeds;
    int exit_code = 0;
    std::string error = {};  // checked when not empty

    friend void PrintTo(const FlashCase& c, std::ostream* os) { *os << c.name; }
};

class Flash : public Stm32Programmer, public ::testing::WithParamInterface<FlashCase> {};

TEST_P(Flash, SucceedsOnlyWithExitCodeZeroAndAllThreeLines) {
    const FlashCase& c = GetParam();
    answer(c.scenario, c.exit_code);
    const standin::ScratchDir work;
    const auto file = work.path() / "image.bin";
    standin::write_file(file, "firmware");

    testing::internal::CaptureStdout();
    const auto result = common::stm32_flash(true, file.string(), standin::TOOL);
    const std::string printed = testing::internal::GetCapturedStdout();

    if (c.succeeds) {
        EXPECT_TRUE(result.has_value()) << result.error().message;
        EXPECT_EQ(printed, "Flashing...\nFlashing complete\n");
        return;
    }
    ASSERT_FALSE(result.has_value());
    EXPECT_EQ(printed, "Flashing...\n");
    EXPECT_EQ(result.error().kind, ErrorKind::Other);
    EXPECT_EQ(result.error().message.rfind("Failed to flash:\n\"", 0), 0u) << result.error().message;
    if (!c.error.empty()) {
        EXPECT_EQ(result.error().message, c.error);
    }
}

const std::string ALL_THREE =
    "Start operation achieved successfully\r\nDownload verified successfully\r\nFile download complete\r\n";

INSTANTIATE_TEST_SUITE_P(
    Outputs, Flash,
    ::testing::Values(
        FlashCase{"FullRun", "scenario:flash=ok\n", true},
        FlashCase{"FullColouredRun", "scenario:flash=ok\nansi=1\n", true},
        FlashCase{"AllThreeInAnyOrder", ALL_THREE, true},
        FlashCase{"AllThreeButExitCodeOne", "scenario:flash=exit-1\n", false},
        FlashCase{"AllThreeButExitCodeOneRaw", ALL_THREE, false, 1,
                  "Failed to flash:\n\"Start operation achieved successfully\\r\\nDownload verified "
                  "successfully\\r\\nFile download complete\\r\\n\""},
        FlashCase{"VerifyFails", "scenario:flash=verify-fail\n", false},
        FlashCase{"StartLineMissing", "scenario:flash=no-start\n", false},
        FlashCase{"NoDevice", "scenario:flash=no-device\n", false},
        FlashCase{"OnlyTwoLines", "File download complete\r\nDownload verified successfully\r\n", false, 0,
                  "Failed to flash:\n\"File download complete\\r\\nDownload verified successfully\\r\\n\""},
        FlashCase{"EmptyOutput", "", false, 0, "Failed to flash:\n\"\""},
        FlashCase{"InvalidUtf8AndEscape", "\x1b[31m\xff", false, 2,
                  "Failed to flash:\n\"\\u{1b}[31m\xEF\xBF\xBD\""}));

TEST_F(Stm32Programmer, FailedRun_MessageQuotesTheToolsColourCodes) {
    tool.scenario("flash=verify-fail\nansi=1\n");
    const standin::ScratchDir work;
    standin::write_file(work.path() / "image.bin", "firmware");
    testing::internal::CaptureStdout();
    const auto result = common::stm32_flash(false, (work.path() / "image.bin").string(), standin::TOOL);
    static_cast<void>(testing::internal::GetCapturedStdout());
    ASSERT_FALSE(result.has_value());
    EXPECT_NE(
        result.error().message.find("\\u{1b}[31mError: Download verification failed\\u{1b}[39;49m\\r\\n"),
        std::string::npos)
        << result.error().message;
}

#ifndef _WIN32
// Standard output goes to `path` for one scope, so that a child can look at what was printed so far.
class StdoutToFile {
  public:
    explicit StdoutToFile(const std::filesystem::path& path) {
        std::fflush(stdout);
        saved_ = ::dup(STDOUT_FILENO);
        const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
        ::dup2(fd, STDOUT_FILENO);
        ::close(fd);
    }
    ~StdoutToFile() {
        std::fflush(stdout);
        ::dup2(saved_, STDOUT_FILENO);
        ::close(saved_);
    }
    StdoutToFile(const StdoutToFile&) = delete;
    StdoutToFile& operator=(const StdoutToFile&) = delete;

  private:
    int saved_ = -1;
};

TEST_F(Stm32Programmer, FlashingLine_IsOutBeforeTheToolStarts) {
    const auto printed = tool.dir() / "printed";
    tool.scenario("snapshot_file=" + printed.string() + "\n");
    const standin::ScratchDir work;
    standin::write_file(work.path() / "image.bin", "firmware");
    base::Result<void> result;
    {
        const StdoutToFile redirect(printed);
        result = common::stm32_flash(true, (work.path() / "image.bin").string(), standin::TOOL);
    }
    ASSERT_TRUE(result.has_value()) << result.error().message;
    EXPECT_EQ(standin::read_file(tool.dir() / "snapshot"), "Flashing...\n");
    EXPECT_EQ(standin::read_file(printed), "Flashing...\nFlashing complete\n");
}
#endif

// ---------------------------------------------------------------------------------------------------
// Arguments: the connection follows the device kind; every argument reaches the tool by itself.

struct KindCase {
    const char* name;
    DeviceKind kind;
    std::vector<std::string> probe;
    std::vector<std::string> flash;

    friend void PrintTo(const KindCase& c, std::ostream* os) { *os << c.name; }
};

class Connection : public Stm32Programmer, public ::testing::WithParamInterface<KindCase> {};

TEST_P(Connection, FollowsTheDeviceKind) {
    const KindCase& c = GetParam();
    const standin::ScratchDir work;
    const std::string file = (work.path() / "flash me \"now\".bin").string();
    standin::write_file(file, "firmware");

    EXPECT_TRUE(common::probe_device(c.kind, standin::TOOL).has_value());
    testing::internal::CaptureStdout();
    EXPECT_TRUE(common::flash_device(c.kind, file, standin::TOOL).has_value());
    static_cast<void>(testing::internal::GetCapturedStdout());

    std::vector<std::string> flash = c.flash;
    for (auto& arg : flash) {
        if (arg == "PATH") arg = file;
    }
    EXPECT_EQ(tool.calls(), (std::vector<std::vector<std::string>>{c.probe, flash}));
    EXPECT_EQ(tool.flashed(), "firmware");
}

const std::vector<std::string> USB_PROBE{"--list", "usb"};
const std::vector<std::string> SWD_PROBE{"--connect", "port=SWD", "mode=UR"};
const std::vector<std::string> USB_FLASH{"--connect", "port=USB1", "--write",    "PATH",       "0x08000000",
                                         "--verify",  "--start",   "0x08000000", "--quietMode"};
const std::vector<std::string> SWD_FLASH{"--connect",  "port=SWD", "mode=UR", "--write",    "PATH",
                                         "0x08000000", "--verify", "--start", "0x08000000", "--quietMode"};

INSTANTIATE_TEST_SUITE_P(Kinds, Connection,
                         ::testing::Values(KindCase{"Valve", DeviceKind::Valve, USB_PROBE, USB_FLASH},
                                           KindCase{"KX", DeviceKind::KX, USB_PROBE, USB_FLASH},
                                           KindCase{"JRX", DeviceKind::JRX, SWD_PROBE, SWD_FLASH},
                                           KindCase{"WQ", DeviceKind::WQ, SWD_PROBE, SWD_FLASH}));

// ---------------------------------------------------------------------------------------------------
// A tool that cannot be started: the operating system's reason, at once.

TEST_F(Stm32Programmer, MissingTool_GivesTheSystemsNotFoundError) {
    const standin::ScratchDir empty;
    const std::string missing = (empty.path() / "STM32_Programmer_CLI").string();
    const base::Error expected{ErrorKind::NotFound, "No such file or directory (os error 2)"};

    EXPECT_EQ(common::stm32_probe_usb(missing).error(), expected);
    EXPECT_EQ(common::stm32_probe_swd(missing).error(), expected);
    testing::internal::CaptureStdout();
    EXPECT_EQ(common::stm32_flash(true, "flash_me.bin", missing).error(), expected);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Flashing...\n");
}

TEST_F(Stm32Programmer, ToolThatIsNotExecutable_GivesTheSystemsPermissionError) {
    const standin::ScratchDir dir;
    const auto file = dir.path() / "STM32_Programmer_CLI";
    standin::write_file(file, "not a program");
    std::filesystem::permissions(file,
                                 std::filesystem::perms::owner_read | std::filesystem::perms::owner_write);
    EXPECT_EQ(common::stm32_probe_swd(file.string()).error(),
              (base::Error{ErrorKind::PermissionDenied, "Permission denied (os error 13)"}));
    EXPECT_EQ(common::stm32_probe_swd(dir.path().string()).error(),
              (base::Error{ErrorKind::PermissionDenied, "Permission denied (os error 13)"}));
}

#ifndef _WIN32
// A file that is there and may be run, but that exec refuses: the reason is exec's own.
struct UnstartableCase {
    const char* name;
    std::string content;
    int error_number;

    friend void PrintTo(const UnstartableCase& c, std::ostream* os) { *os << c.name; }
};

class UnstartableTool : public Stm32Programmer, public ::testing::WithParamInterface<UnstartableCase> {};

TEST_P(UnstartableTool, GivesTheSystemsErrorFromEveryCall) {
    const standin::ScratchDir dir;
    const auto file = dir.path() / "STM32_Programmer_CLI";
    standin::write_file(file, GetParam().content);
    std::filesystem::permissions(file, std::filesystem::perms::owner_all);
    const base::Error expected = base::os_error(GetParam().error_number);
    const auto error_of = [](const auto& result) {
        return result ? base::Error{ErrorKind::Other, "(no error)"} : result.error();
    };

    const base::Error usb = error_of(common::stm32_probe_usb(file.string()));
    const base::Error swd = error_of(common::stm32_probe_swd(file.string()));
    testing::internal::CaptureStdout();
    const base::Error flash = error_of(common::stm32_flash(false, "flash_me.bin", file.string()));
    const std::string out = testing::internal::GetCapturedStdout();
    for (const base::Error& error : {usb, swd, flash}) {
        EXPECT_EQ(error.message, expected.message);
        EXPECT_EQ(error.kind, expected.kind);
    }
    EXPECT_EQ(out, "Flashing...\n");
}

INSTANTIATE_TEST_SUITE_P(
    Files, UnstartableTool,
    ::testing::Values(UnstartableCase{"NotAProgram", "not a program\n", ENOEXEC},
                      UnstartableCase{"InterpreterMissing", "#!/nonexistent/interpreter\n", ENOENT}),
    [](const ::testing::TestParamInfo<UnstartableCase>& info) { return std::string(info.param.name); });
#endif

// ---------------------------------------------------------------------------------------------------
// Both pipes are drained together: a tool that fills its error pipe before it writes its answer.

TEST_F(Stm32Programmer, ToolThatFloodsStandardErrorFirst_StillAnswers) {
    tool.scenario("usb_devices=1\nstderr_bytes=4194304\n");
    EXPECT_EQ(common::stm32_probe_usb(standin::TOOL), true);
}

TEST_F(Stm32Programmer, LongOutputOnBothPipes_IsReadToTheEnd) {
    const std::string filler(3 * 1024 * 1024, '.');
    tool.answer_raw(filler + ALL_THREE, 0, "stderr_bytes=2097152\n");
    testing::internal::CaptureStdout();
    const auto result = common::stm32_flash(false, "flash_me.bin", standin::TOOL);
    static_cast<void>(testing::internal::GetCapturedStdout());
    EXPECT_TRUE(result.has_value());
}

}  // namespace
