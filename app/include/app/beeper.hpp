#pragma once

#include <cstdint>

namespace app {

// Placeholder until the SDL beeper lands: takes the pauses, plays nothing.
void play_beeps(std::uint8_t count, std::uint64_t tone_ms, std::uint64_t pause_ms);

}  // namespace app
