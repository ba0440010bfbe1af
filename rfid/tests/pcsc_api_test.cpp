// The tag reader over the real PC/SC layer, against our own pcscd with vsmartcard's virtual reader
// and virtual tags.
#include "rfid/pcsc_api.hpp"

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <filesystem>
#include <future>
#include <optional>
#include <thread>

#include "pcscd.hpp"
#include "rfid/tag_reader.hpp"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;

const Bytes UID_A{0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6};
const Bytes UID_B{0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66};

Bytes with_status(Bytes reply) {
    reply.push_back(0x90);
    reply.push_back(0x00);
    return reply;
}

rfid::TagUid tag(const Bytes& bytes) {
    rfid::TagUid uid;
    std::copy_n(bytes.begin(), uid.bytes.size(), uid.bytes.begin());
    return uid;
}

// The real layer, counting attempts and the ones the service refused.
struct CountingPcsc {
    std::atomic<int> attempts = 0;
    std::atomic<int> refused = 0;
    rfid::PcscApi api = rfid::system_pcsc();

    CountingPcsc() {
        api.establish_context = [this](rfid::ScardContext& context) {
            ++attempts;
            const auto code = rfid::system_pcsc().establish_context(context);
            if (code != rfid::CODE_SUCCESS) ++refused;
            return code;
        };
    }
};

// Waits for a condition that another thread brings about.
bool eventually(const std::function<bool()>& condition, std::chrono::seconds timeout = 10s) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!condition()) {
        if (std::chrono::steady_clock::now() > deadline) return false;
        std::this_thread::sleep_for(1ms);
    }
    return true;
}

class RealPcscd : public testing::Test {
  protected:
    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("rfid_pcscd_" + std::to_string(getpid()) + "_" +
                testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::create_directories(dir_);
        start_pcscd();
    }

    void start_pcscd() {
        auto started = rfid_test::Pcscd::start(log("pcscd"));
        ASSERT_TRUE(started) << started.error().message;
        pcscd_ = std::move(*started);
    }

    void lay_on(int slot, const Bytes& reply) {
        auto laid = rfid_test::VirtualTag::lay_on(slot, reply, log("tag" + std::to_string(slot)));
        ASSERT_TRUE(laid) << laid.error().message;
        tags_.push_back(std::move(*laid));
    }

    std::string log(const std::string& name) const { return (dir_ / (name + ".log")).string(); }

    // Members go in reverse: tags first, then pcscd, each stopped by its PID.
    std::filesystem::path dir_;
    std::optional<rfid_test::Pcscd> pcscd_;
    std::vector<rfid_test::VirtualTag> tags_;
};

TEST_F(RealPcscd, TagInSlotZero_IsRead) {
    lay_on(0, with_status(UID_A));
    EXPECT_EQ(rfid::read_tag_uid(10s), tag(UID_A));
}

TEST_F(RealPcscd, TagInSlotOneOnly_IsRead) {
    lay_on(1, with_status(UID_B));
    EXPECT_EQ(rfid::read_tag_uid(10s), tag(UID_B));
}

TEST_F(RealPcscd, TagsInBothSlots_FirstReaderWins) {
    lay_on(1, with_status(UID_B));
    lay_on(0, with_status(UID_A));
    for (int i = 0; i < 20; ++i) EXPECT_EQ(rfid::read_tag_uid(10s), tag(UID_A));
}

TEST_F(RealPcscd, EmptyReaders_YieldNoTagUntilTheTimeOut) {
    // pcsc-lite's own code for an empty reader must count as no tag, not as a failed connect.
    const auto once = rfid::read_tag_uid_once();
    ASSERT_TRUE(once) << once.error().message;
    EXPECT_FALSE(*once);

    const auto result = rfid::read_tag_uid(1s);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error(), (base::Error{base::ErrorKind::Other, "Cannot get an RFID"}));
}

struct BadTag {
    std::string name;
    Bytes reply;
    std::string error;

    friend void PrintTo(const BadTag& c, std::ostream* os) { *os << c.name; }
};

class RealPcscdBadTag : public RealPcscd, public testing::WithParamInterface<BadTag> {};

TEST_P(RealPcscdBadTag, FailsEachAttemptAndNeverYieldsAUid) {
    lay_on(0, GetParam().reply);
    const auto once = rfid::read_tag_uid_once();
    ASSERT_FALSE(once);
    EXPECT_EQ(once.error().message, GetParam().error);

    const auto result = rfid::read_tag_uid(300ms);
    ASSERT_FALSE(result);
    EXPECT_EQ(result.error().message, "Cannot get an RFID");
}

INSTANTIATE_TEST_SUITE_P(
    Replies, RealPcscdBadTag,
    testing::Values(
        BadTag{"FourByteUid", with_status({0x01, 0x02, 0x03, 0x04}), "Unexpected response from RFID reader"},
        BadTag{"StatusWordOnly", {0x6A, 0x81}, "Unexpected response from RFID reader"},
        BadTag{"EightBytesEndingIn90",
               {0x04, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66, 0x90},
               "Unexpected response from RFID reader"},
        BadTag{"EightByteUid", with_status(Bytes(8, 0x11)), "RFID: Failed to transmit (0x80100008)"}),
    [](const testing::TestParamInfo<BadTag>& info) { return info.param.name; });

// Once the service shows the tag to another client, the attempt under way and the next one are all
// that may pass before the UID comes back; a few more are allowed, never a pause.
TEST_F(RealPcscd, TagLaidOnWhilePolling_IsReturnedOnceTheServiceSeesIt) {
    CountingPcsc pcsc;
    auto polling = std::async(std::launch::async, [&] {
        auto uid = rfid::read_tag_uid(20s, pcsc.api);
        return std::make_pair(uid, std::chrono::steady_clock::now());
    });
    ASSERT_TRUE(eventually([&] { return pcsc.attempts > 10; }));

    auto started = rfid_test::VirtualTag::start(0, with_status(UID_A), log("tag0"));
    ASSERT_TRUE(started) << started.error().message;
    tags_.push_back(std::move(*started));
    const auto seen = rfid_test::wait_for_card(rfid_test::READER_0, true, 10s);
    const auto seen_at = std::chrono::steady_clock::now();
    const int attempts_when_seen = pcsc.attempts;

    const auto [uid, returned_at] = polling.get();
    ASSERT_TRUE(seen) << seen.error().message;
    EXPECT_EQ(uid, tag(UID_A));
    const int attempts_after = pcsc.attempts - attempts_when_seen;
    const auto lag = std::chrono::duration_cast<std::chrono::microseconds>(returned_at - seen_at);
    EXPECT_LE(attempts_after, 5);
    // A full attempt takes about a millisecond; only a pause between attempts could come near this.
    EXPECT_LT(lag, 2s) << lag.count() << " us";
    RecordProperty("returned_after_present_us", std::to_string(lag.count()));
    RecordProperty("attempts_after_present", std::to_string(attempts_after));
}

TEST_F(RealPcscd, PcscdRestartedWhilePolling_NextAttemptsRecover) {
    CountingPcsc pcsc;
    auto polling = std::async(std::launch::async, [&] { return rfid::read_tag_uid(30s, pcsc.api); });
    ASSERT_TRUE(eventually([&] { return pcsc.attempts > 10; }));

    pcscd_->stop();
    EXPECT_TRUE(eventually([&] { return pcsc.refused > 10; })) << "attempts never met the stopped service";
    start_pcscd();
    lay_on(1, with_status(UID_B));

    EXPECT_EQ(polling.get(), tag(UID_B));
}

}  // namespace
