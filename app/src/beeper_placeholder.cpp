#include <chrono>
#include <thread>

#include "app/beeper.hpp"

namespace app {

void play_beeps(std::uint8_t count, std::uint64_t /*tone_ms*/, std::uint64_t pause_ms) {
    for (std::uint8_t i = 0; i < count; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(pause_ms));
}

}  // namespace app
