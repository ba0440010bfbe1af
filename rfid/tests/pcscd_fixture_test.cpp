// The pcscd fixture keeps other runs on this machine off the bench while its pcscd runs.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>

#include "pcscd.hpp"
#include "test_support/bench_lock.hpp"

namespace {

// Another run, here flock(1) as a script takes the lock, is kept out while our pcscd runs, and gets
// the bench once the fixture has gone (after any other run that was waiting for it too).
TEST(PcscdFixture, HoldsTheBenchLockForAsLongAsItsPcscdRuns) {
    const std::string lock = test_support::bench_lock_path();
    const auto log =
        std::filesystem::temp_directory_path() / ("pcscd_fixture_" + std::to_string(getpid()) + ".log");
    {
        auto pcscd = rfid_test::Pcscd::start(log.string());
        ASSERT_TRUE(pcscd) << pcscd.error().message;
        EXPECT_EQ(test_support::run_command({"flock", "--nonblock", lock, "true"}).status, 1);
    }
    EXPECT_EQ(test_support::run_command({"flock", "--timeout", "300", lock, "true"}).status, 0);
    std::filesystem::remove(log);
}

}  // namespace
