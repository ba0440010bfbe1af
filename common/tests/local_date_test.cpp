#include "common/local_date.hpp"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <optional>
#include <regex>
#include <string>

namespace {

// Sets TZ for one scope and puts the previous value back.
class ScopedTimeZone {
  public:
    explicit ScopedTimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ")) old_ = old;
        set(zone);
    }
    ~ScopedTimeZone() { set(old_ ? old_->c_str() : nullptr); }
    ScopedTimeZone(const ScopedTimeZone&) = delete;
    ScopedTimeZone& operator=(const ScopedTimeZone&) = delete;

  private:
    // A null zone removes TZ.
    static void set(const char* zone) {
#ifdef _WIN32
        _putenv_s("TZ", zone ? zone : "");
        _tzset();
#else
        if (zone) {
            setenv("TZ", zone, 1);
        } else {
            unsetenv("TZ");
        }
        tzset();
#endif
    }
    std::optional<std::string> old_;
};

TEST(LocalDate, IsYearMonthDayWithDashes) {
    EXPECT_TRUE(std::regex_match(common::local_date(), std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2}")));
}

TEST(LocalDate, FollowsTheComputersTimeZone) {
    // Twenty-six hours apart, two zones never share a calendar day. Three-letter names, because the
    // Windows C runtime reads no other.
    std::string east;
    std::string west;
    {
        const ScopedTimeZone zone("EAS-14");
        east = common::local_date();
    }
    {
        const ScopedTimeZone zone("WES+12");
        west = common::local_date();
    }
    EXPECT_NE(east, west);
    EXPECT_GT(east, west);
}

}  // namespace
