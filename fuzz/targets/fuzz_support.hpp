#pragma once

// Shared by the fuzz targets: reading typed values off the input, and a check that stops the run
// with a readable report when a property does not hold.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <span>
#include <string>
#include <string_view>

#include "base/error.hpp"

namespace fuzz {

// Stops the run with the property that failed; libFuzzer keeps the input as a crash artifact.
#define FUZZ_CHECK(condition)                                                 \
    do {                                                                      \
        if (!(condition)) ::fuzz::fail_check(#condition, __FILE__, __LINE__); \
    } while (false)

[[noreturn]] inline void fail_check(const char* condition, const char* file, int line) {
    std::fprintf(stderr, "\nproperty failed: %s\n  at %s:%d\n", condition, file, line);
    std::abort();
}

// Prints two values that should have agreed before the check stops the run.
inline void explain(std::string_view what, std::string_view got, std::string_view want) {
    std::fprintf(stderr, "\n%.*s\n  got:  [%.*s]\n  want: [%.*s]\n", static_cast<int>(what.size()),
                 what.data(), static_cast<int>(got.size()), got.data(), static_cast<int>(want.size()),
                 want.data());
}

// Reads the input from the front: small fixed values first, the rest as text.
class Input {
  public:
    Input(const std::uint8_t* data, std::size_t size) : bytes_(data, size) {}

    [[nodiscard]] bool empty() const { return bytes_.empty(); }
    [[nodiscard]] std::size_t remaining() const { return bytes_.size(); }

    // 0 when the input is used up.
    std::uint8_t byte() {
        if (bytes_.empty()) return 0;
        const std::uint8_t b = bytes_.front();
        bytes_ = bytes_.subspan(1);
        return b;
    }

    std::uint32_t u32() {
        std::uint32_t value = 0;
        for (int i = 0; i < 4; ++i) value = (value << 8) | byte();
        return value;
    }

    // Up to `n` bytes as a text.
    std::string text(std::size_t n) {
        n = n < bytes_.size() ? n : bytes_.size();
        std::string out(reinterpret_cast<const char*>(bytes_.data()), n);
        bytes_ = bytes_.subspan(n);
        return out;
    }

    // A text whose length in bytes the input gives first (at most 255).
    std::string sized_text() { return text(byte()); }

    std::string rest() { return text(bytes_.size()); }

  private:
    std::span<const std::uint8_t> bytes_;
};

inline bool same_error(const base::Error& got, base::ErrorKind kind, std::string_view message) {
    if (got.kind == kind && got.message == message) return true;
    explain("error differs from the model", got.message, message);
    return false;
}

}  // namespace fuzz
