#include "app/firmware_file.hpp"

#include <algorithm>
#include <string>
#include <utility>

#include "common/utils.hpp"
#include "work_file.hpp"

namespace app {

base::Result<void> prepare_firmware_file(std::span<const std::uint8_t> image, const common::AppKey& key) {
    return write_firmware_file(std::vector<std::uint8_t>(image.begin(), image.end()), key);
}

base::Result<void> write_firmware_file(std::vector<std::uint8_t> buffer, const common::AppKey& key) {
    const std::span<const std::uint8_t> placeholder = PLACEHOLDER_KEY.bytes;
    std::size_t count = 0;
    // Each search reads the buffer as patched so far and starts one byte after the last occurrence.
    for (auto at = common::find_bytes(buffer, placeholder, 0); at.has_value();
         at = common::find_bytes(buffer, placeholder, *at + 1)) {
        std::copy(key.bytes.begin(), key.bytes.end(), buffer.begin() + static_cast<std::ptrdiff_t>(*at));
        ++count;
    }

    if (count == EXPECTED_REPLACEMENT_COUNT) return write_whole_file(FIRMWARE_FILE, buffer);

    std::string message = "\nExpected to make " + std::to_string(EXPECTED_REPLACEMENT_COUNT) +
                          " key replacements, made " + std::to_string(count) + " key replacements\n";
    message += count == 0 ? "Has the original key been changed in the source code?\n"
                          : "The generated .bin file is probably corrupted and should not be used\n";
    return base::fail(base::ErrorKind::Other, std::move(message));
}

base::Result<void> remove_firmware_file() { return remove_file(FIRMWARE_FILE); }

}  // namespace app
