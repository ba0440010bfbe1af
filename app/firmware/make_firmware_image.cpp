// Writes the firmware image that the update tool carries: a Cortex-M style raw image (vector table,
// code, a configuration block holding the placeholder key, erased flash) of a fixed length, the same
// bytes on every run. Usage: make_firmware_image OUTPUT

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <vector>

#include "app/firmware_file.hpp"
#include "common/utils.hpp"

namespace {

constexpr std::size_t IMAGE_SIZE = 144'488;
constexpr std::size_t VECTOR_COUNT = 48;
constexpr std::size_t CONFIG_OFFSET = 0x22000;
constexpr std::uint32_t FLASH_BASE = 0x08000000;

// splitmix64: a fixed seed gives the same "code" bytes on every machine.
std::uint64_t next(std::uint64_t& state) {
    std::uint64_t z = (state += 0x9e3779b97f4a7c15ULL);
    z = (z ^ (z >> 30)) * 0xbf58476d1ce4e5b9ULL;
    z = (z ^ (z >> 27)) * 0x94d049bb133111ebULL;
    return z ^ (z >> 31);
}

void put_word(std::vector<std::uint8_t>& image, std::size_t at, std::uint32_t word) {
    for (int i = 0; i < 4; ++i)
        image[at + static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(word >> (8 * i));
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_firmware_image OUTPUT\n");
        return 2;
    }
    std::vector<std::uint8_t> image(IMAGE_SIZE, 0xFF);

    const std::uint32_t code_start = FLASH_BASE + VECTOR_COUNT * 4;
    put_word(image, 0, 0x20018000);               // initial stack pointer: top of RAM
    put_word(image, 4, (code_start + 0x04) | 1);  // reset handler, Thumb
    for (std::size_t i = 2; i < VECTOR_COUNT; ++i) {
        const bool reserved = (i >= 7 && i <= 10) || i == 13;
        put_word(image, i * 4, reserved ? 0 : (code_start + 0x40) | 1);
    }

    std::uint64_t state = 0x43616c6472696e78ULL;
    for (std::size_t at = VECTOR_COUNT * 4; at < CONFIG_OFFSET; at += 8) {
        const std::uint64_t word = next(state);
        for (std::size_t i = 0; i < 8 && at + i < CONFIG_OFFSET; ++i)
            image[at + i] = static_cast<std::uint8_t>(word >> (8 * i));
    }

    const auto& key = app::PLACEHOLDER_KEY.bytes;
    std::copy(key.begin(), key.end(), image.begin() + CONFIG_OFFSET);

    // The tool patches the first occurrence and refuses an image with more than one.
    std::size_t occurrences = 0;
    for (auto at = common::find_bytes(image, key, 0); at; at = common::find_bytes(image, key, *at + 1))
        ++occurrences;
    if (occurrences != 1) {
        std::fprintf(stderr, "make_firmware_image: placeholder key found %zu times\n", occurrences);
        return 1;
    }

    std::ofstream out(argv[1], std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(image.data()), static_cast<std::streamsize>(image.size()));
    out.close();
    if (!out) {
        std::fprintf(stderr, "make_firmware_image: cannot write %s\n", argv[1]);
        return 1;
    }
    return 0;
}
