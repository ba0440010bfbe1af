#include "common/local_date.hpp"

#include <ctime>

namespace common {

// The C runtime's local time on both platforms: it follows the computer's time zone, and TZ where
// it is set, so the day's file and the report mail always agree on the date.
std::string local_date() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    if (localtime_s(&local, &now) != 0) return {};
#else
    if (localtime_r(&now, &local) == nullptr) return {};
#endif
    char text[16] = {};
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return std::string(text, length);
}

}  // namespace common
