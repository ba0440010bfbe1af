#include "app/local_date.hpp"

#include <ctime>

namespace app {

std::string local_date_today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[16];
    const std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return std::string(text, n);
}

}  // namespace app
