#include "app/firmware_file.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <ostream>
#include <string>
#include <vector>

#include "common/stm32_programmer.hpp"
#include "common/utils.hpp"
#include "embedded/firmware_image.hpp"
#include "standin_fixture.hpp"

namespace {

namespace fs = std::filesystem;

using Bytes = std::vector<std::uint8_t>;

const Bytes PLACEHOLDER(app::PLACEHOLDER_KEY.bytes.begin(), app::PLACEHOLDER_KEY.bytes.end());
const common::AppKey DEVICE_KEY{
    {0xa1, 0xb2, 0xc3, 0xd4, 0xe5, 0xf6, 0x07, 0x18, 0x29, 0x3a, 0x4b, 0x5c, 0x6d, 0x7e, 0x8f, 0x90}};

const std::string NONE_MADE =
    "\nExpected to make 1 key replacements, made 0 key replacements\n"
    "Has the original key been changed in the source code?\n";
const std::string TWO_MADE =
    "\nExpected to make 1 key replacements, made 2 key replacements\n"
    "The generated .bin file is probably corrupted and should not be used\n";

Bytes filler(std::size_t size) {
    Bytes bytes(size);
    for (std::size_t i = 0; i < size; ++i) bytes[i] = static_cast<std::uint8_t>(i * 7 + 1);
    return bytes;
}

Bytes join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes as_bytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

// Every test runs in a fresh working directory of its own, where the work file lands.
class FirmwareFile : public ::testing::Test {
  protected:
    FirmwareFile() : previous_(fs::current_path()) { fs::current_path(dir_.path()); }
    ~FirmwareFile() override { fs::current_path(previous_); }

    [[nodiscard]] static bool work_file_exists() {
        return fs::exists(fs::symlink_status(app::FIRMWARE_FILE));
    }
    [[nodiscard]] static Bytes work_file() { return as_bytes(standin::read_file(app::FIRMWARE_FILE)); }

  private:
    standin::ScratchDir dir_;
    fs::path previous_;
};

struct PatchCase {
    const char* name;
    Bytes image;
    common::AppKey key;
    Bytes written = {};      // the work file's content when it is written
    std::string error = {};  // the message when nothing is written

    friend void PrintTo(const PatchCase& c, std::ostream* os) { *os << c.name; }
};

class Patch : public FirmwareFile, public ::testing::WithParamInterface<PatchCase> {};

TEST_P(Patch, WritesTheImageWithTheKeyOnlyForExactlyOneReplacement) {
    const PatchCase& c = GetParam();
    const auto result = app::prepare_firmware_file(c.image, c.key);
    if (c.error.empty()) {
        ASSERT_TRUE(result.has_value()) << result.error().message;
        EXPECT_EQ(work_file(), c.written);
    } else {
        ASSERT_FALSE(result.has_value());
        EXPECT_EQ(result.error(), (base::Error{base::ErrorKind::Other, c.error}));
        EXPECT_FALSE(work_file_exists());
    }
}

const Bytes KEY(DEVICE_KEY.bytes.begin(), DEVICE_KEY.bytes.end());

// A key whose last 15 bytes, followed by the image's next byte, spell the placeholder again.
const common::AppKey SHIFTED_PLACEHOLDER{
    {0x00, 0x0f, 0x3c, 0x9a, 0x6e, 0x2b, 0x7d, 0x14, 0x80, 0x5a, 0xc1, 0xe9, 0xf3, 0x6d, 0x2b, 0x70}};

INSTANTIATE_TEST_SUITE_P(
    Images, Patch,
    ::testing::Values(
        PatchCase{"OnceInTheMiddle", join({filler(20), PLACEHOLDER, filler(30)}), DEVICE_KEY,
                  join({filler(20), KEY, filler(30)})},
        PatchCase{"OnceAtTheStart", join({PLACEHOLDER, filler(5)}), DEVICE_KEY, join({KEY, filler(5)})},
        PatchCase{"OnceAtTheEnd", join({filler(5), PLACEHOLDER}), DEVICE_KEY, join({filler(5), KEY})},
        PatchCase{"ImageIsJustThePlaceholder", PLACEHOLDER, DEVICE_KEY, KEY},
        PatchCase{"KeyEqualToThePlaceholder_CountsOnce", join({filler(20), PLACEHOLDER, filler(30)}),
                  app::PLACEHOLDER_KEY, join({filler(20), PLACEHOLDER, filler(30)})},
        PatchCase{"NotInTheImage", filler(64), DEVICE_KEY, {}, NONE_MADE},
        PatchCase{"EmptyImage", {}, DEVICE_KEY, {}, NONE_MADE},
        PatchCase{"PlaceholderCutShort",
                  join({filler(8), Bytes(PLACEHOLDER.begin(), PLACEHOLDER.end() - 1)}),
                  DEVICE_KEY,
                  {},
                  NONE_MADE},
        PatchCase{"Twice",
                  join({filler(10), PLACEHOLDER, filler(10), PLACEHOLDER, filler(3)}),
                  DEVICE_KEY,
                  {},
                  TWO_MADE},
        PatchCase{"TwiceBackToBack", join({PLACEHOLDER, PLACEHOLDER}), DEVICE_KEY, {}, TWO_MADE},
        PatchCase{"PatchThatSpellsThePlaceholderAgain_CountsTwice",
                  join({filler(10), PLACEHOLDER, {0x48}}),
                  SHIFTED_PLACEHOLDER,
                  {},
                  TWO_MADE}));

TEST_F(FirmwareFile, ExistingLongerWorkFile_IsReplacedWhole) {
    standin::write_file(app::FIRMWARE_FILE, std::string(200'000, 'x'));
    ASSERT_TRUE(app::prepare_firmware_file(join({PLACEHOLDER, filler(3)}), DEVICE_KEY).has_value());
    EXPECT_EQ(work_file(), join({KEY, filler(3)}));
}

TEST_F(FirmwareFile, NewWorkFile_IsForItsOwnerOnly) {
    // It holds the device's secret key until it is removed.
    ASSERT_TRUE(app::prepare_firmware_file(PLACEHOLDER, DEVICE_KEY).has_value());
    const fs::perms others = fs::perms::group_all | fs::perms::others_all;
    EXPECT_EQ(fs::status(app::FIRMWARE_FILE).permissions() & others, fs::perms::none);
}

TEST_F(FirmwareFile, RefusedImage_LeavesAnExistingWorkFileAlone) {
    standin::write_file(app::FIRMWARE_FILE, "old");
    EXPECT_FALSE(app::prepare_firmware_file(filler(40), DEVICE_KEY).has_value());
    EXPECT_EQ(work_file(), as_bytes("old"));
}

TEST_F(FirmwareFile, ImageIsCopied_NotPatchedInPlace) {
    const Bytes image = join({filler(4), PLACEHOLDER});
    const Bytes before = image;
    ASSERT_TRUE(app::prepare_firmware_file(image, DEVICE_KEY).has_value());
    EXPECT_EQ(image, before);
}

TEST_F(FirmwareFile, WorkFileCannotBeCreated_GivesTheSystemsError) {
    fs::create_directory(app::FIRMWARE_FILE);
    EXPECT_EQ(app::prepare_firmware_file(PLACEHOLDER, DEVICE_KEY).error(),
              (base::Error{base::ErrorKind::IsADirectory, "Is a directory (os error 21)"}));
}

TEST_F(FirmwareFile, WriteFails_GivesTheSystemsError) {
    // The work file's name leads to a device that accepts opening but refuses every byte.
    if (!fs::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
    fs::create_symlink("/dev/full", app::FIRMWARE_FILE);
    EXPECT_EQ(app::prepare_firmware_file(PLACEHOLDER, DEVICE_KEY).error(),
              (base::Error{base::ErrorKind::StorageFull, "No space left on device (os error 28)"}));
}

TEST_F(FirmwareFile, Remove_DeletesTheWorkFileAndReportsAMissingOne) {
    ASSERT_TRUE(app::prepare_firmware_file(PLACEHOLDER, DEVICE_KEY).has_value());
    EXPECT_TRUE(app::remove_firmware_file().has_value());
    EXPECT_FALSE(work_file_exists());
    EXPECT_EQ(app::remove_firmware_file().error(),
              (base::Error{base::ErrorKind::NotFound, "No such file or directory (os error 2)"}));
}

TEST(BuiltInImage, HasItsLengthAndThePlaceholderExactlyOnce) {
    const auto image = app::firmware_image();
    EXPECT_EQ(image.size(), 144'488u);
    const auto first = common::find_bytes(image, PLACEHOLDER, 0);
    ASSERT_TRUE(first.has_value());
    EXPECT_EQ(common::find_bytes(image, PLACEHOLDER, *first + 1), std::nullopt);
}

// The whole road of one image: built-in image, work file with the device's key, the programmer tool.
TEST_F(FirmwareFile, FlashedWorkFile_ReachesTheToolAsTheBuiltInImageWithTheDevicesKey) {
    const standin::Tool tool;
    const auto image = app::firmware_image();

    ASSERT_TRUE(app::prepare_firmware_file(image, DEVICE_KEY).has_value());
    testing::internal::CaptureStdout();
    const auto flashed = common::flash_device(common::DeviceKind::Valve, app::FIRMWARE_FILE, standin::TOOL);
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "Flashing...\nFlashing complete\n");
    ASSERT_TRUE(flashed.has_value()) << flashed.error().message;
    EXPECT_TRUE(app::remove_firmware_file().has_value());

    const Bytes received = as_bytes(tool.flashed());
    ASSERT_EQ(received.size(), image.size());
    const std::size_t at = common::find_bytes(image, PLACEHOLDER, 0).value();
    Bytes expected(image.begin(), image.end());
    std::copy(KEY.begin(), KEY.end(), expected.begin() + static_cast<std::ptrdiff_t>(at));
    EXPECT_EQ(received, expected);
    EXPECT_EQ(common::find_bytes(received, PLACEHOLDER, 0), std::nullopt);
}

}  // namespace
