# Run by embed_file at build time: writes INPUT's bytes as a C++ array.
file(READ "${INPUT}" hex HEX)
string(LENGTH "${hex}" hex_length)
math(EXPR size "${hex_length} / 2")
string(REGEX REPLACE "([0-9a-f][0-9a-f])" "0x\\1," bytes "${hex}")
# Break the one long line so that compilers and editors stay comfortable.
string(REGEX REPLACE "((0x[0-9a-f][0-9a-f],){32})" "\\1\n" bytes "${bytes}")

file(WRITE "${HEADER}" "#pragma once

#include <cstdint>
#include <span>

namespace ${NAMESPACE} {

// Generated from ${NAME}'s source file at build time.
[[nodiscard]] std::span<const std::uint8_t> ${NAME}();

}  // namespace ${NAMESPACE}
")

file(WRITE "${SOURCE}" "#include \"embedded/${NAME}.hpp\"

namespace ${NAMESPACE} {

namespace {
// One byte more than the data, so that an empty file still gives a valid array.
const std::uint8_t kData[${size} + 1] = {
${bytes}
0};
}  // namespace

std::span<const std::uint8_t> ${NAME}() { return {kData, ${size}}; }

}  // namespace ${NAMESPACE}
")
