#include "common/utils.hpp"

#include <algorithm>

namespace common {

std::optional<std::size_t> find_bytes(std::span<const std::uint8_t> haystack,
                                      std::span<const std::uint8_t> needle, std::size_t start) {
    if (start > haystack.size() || needle.size() > haystack.size() - start) return std::nullopt;
    for (std::size_t i = start; i <= haystack.size() - needle.size(); ++i) {
        if (std::equal(needle.begin(), needle.end(), haystack.begin() + static_cast<std::ptrdiff_t>(i)))
            return i;
    }
    return std::nullopt;
}

}  // namespace common
