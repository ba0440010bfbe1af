#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include "base/error.hpp"
#include "common/key.hpp"

namespace app {

// The key the built-in firmware image carries where each device's own key goes.
inline constexpr common::AppKey PLACEHOLDER_KEY{
    {0x0f, 0x3c, 0x9a, 0x6e, 0x2b, 0x7d, 0x14, 0x80, 0x5a, 0xc1, 0xe9, 0xf3, 0x6d, 0x2b, 0x70, 0x48}};

inline constexpr std::uint8_t EXPECTED_REPLACEMENT_COUNT = 1;

// The work file handed to the programmer tool, relative to the working directory.
inline constexpr std::string_view FIRMWARE_FILE = "flash_me.bin";

// Writes FIRMWARE_FILE: a copy of `image` with `key` in place of the placeholder. The image itself is
// left as it is.
[[nodiscard]] base::Result<void> prepare_firmware_file(std::span<const std::uint8_t> image,
                                                       const common::AppKey& key);

// Patches `buffer` and writes it to FIRMWARE_FILE, but only when the placeholder was replaced exactly
// once; otherwise nothing is written.
[[nodiscard]] base::Result<void> write_firmware_file(std::vector<std::uint8_t> buffer,
                                                     const common::AppKey& key);

[[nodiscard]] base::Result<void> remove_firmware_file();

}  // namespace app
