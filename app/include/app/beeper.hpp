#pragma once

#include <cstdint>

namespace app {

// Plays count tones of 880 Hz on the default audio output, each tone_ms long and followed by a pause
// of pause_ms, and returns after the last pause. Sound is optional: without a usable output only the
// pauses are taken. Never fails and never prints.
void play_beeps(std::uint8_t count, std::uint64_t tone_ms, std::uint64_t pause_ms);

}  // namespace app
