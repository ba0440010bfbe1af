#include "app/local_date.hpp"

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
    ~ScopedTimeZone() {
        if (old_) {
            set(old_->c_str());
        } else {
            unsetenv("TZ");
            tzset();
        }
    }

  private:
    static void set(const char* zone) {
        setenv("TZ", zone, 1);
        tzset();
    }
    std::optional<std::string> old_;
};

TEST(LocalDate, IsYearMonthDayWithDashes) {
    EXPECT_TRUE(std::regex_match(app::local_date_today(), std::regex("[0-9]{4}-[0-9]{2}-[0-9]{2}")));
}

TEST(LocalDate, FollowsTheComputersTimeZone) {
    // Twenty-six hours apart, two zones never share a calendar day.
    std::string east;
    std::string west;
    {
        const ScopedTimeZone zone("EAST-14");
        east = app::local_date_today();
    }
    {
        const ScopedTimeZone zone("WEST+12");
        west = app::local_date_today();
    }
    EXPECT_NE(east, west);
    EXPECT_GT(east, west);
}

}  // namespace
