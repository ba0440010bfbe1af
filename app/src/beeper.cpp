#include "app/beeper.hpp"

#include <SDL.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cmath>
#include <limits>
#include <numbers>
#include <thread>

namespace app {

namespace {

constexpr int SAMPLE_RATE = 48000;
constexpr double TONE_HZ = 880.0;
constexpr float AMPLITUDE = 0.2f;
// 880 Hz at 48 kHz repeats exactly every 600 samples. Taking the phase from the position within that
// cycle keeps the sine as exact at the end of a long tone as at its start.
constexpr std::uint64_t CYCLE_SAMPLES = 600;
// A short device buffer lets the end of a tone be heard soon after the queue runs dry.
constexpr Uint16 DEVICE_BUFFER_SAMPLES = 1024;
// The usual tones go into the queue at once, so a busy GUI thread cannot starve them; longer ones are
// topped up so that memory stays bounded whatever the length.
constexpr std::uint64_t QUEUE_AHEAD_SAMPLES = 2 * SAMPLE_RATE;
constexpr std::size_t CHUNK_SAMPLES = SAMPLE_RATE / 10;
constexpr Uint32 POLL_MS = 5;

std::uint64_t tone_samples(std::uint64_t tone_ms) {
    constexpr std::uint64_t per_ms = SAMPLE_RATE / 1000;
    constexpr std::uint64_t max = std::numeric_limits<std::uint64_t>::max();
    return tone_ms > max / per_ms ? max : tone_ms * per_ms;
}

void sleep_ms(std::uint64_t ms) {
    using Ms = std::chrono::milliseconds;
    constexpr auto max = static_cast<std::uint64_t>(std::numeric_limits<Ms::rep>::max());
    std::this_thread::sleep_for(Ms(static_cast<Ms::rep>(std::min(ms, max))));
}

// SDL's drivers talk through its log (the disk driver always announces itself); the beeps keep the
// terminal quiet, so the log is muted while they play and handed back afterwards.
class MutedSdlLog {
  public:
    MutedSdlLog() {
        SDL_LogGetOutputFunction(&function_, &userdata_);
        SDL_LogSetOutputFunction(discard, nullptr);
    }
    ~MutedSdlLog() { SDL_LogSetOutputFunction(function_, userdata_); }
    MutedSdlLog(const MutedSdlLog&) = delete;
    MutedSdlLog& operator=(const MutedSdlLog&) = delete;

  private:
    static void SDLCALL discard(void*, int, SDL_LogPriority, const char*) {}
    SDL_LogOutputFunction function_ = nullptr;
    void* userdata_ = nullptr;
};

// Queues the next samples of the tone until the queue holds enough or the tone is all queued.
// False when the device refuses them.
bool top_up(SDL_AudioDeviceID device, std::uint64_t total, std::uint64_t& next) {
    std::array<float, CHUNK_SAMPLES> chunk;
    std::uint64_t queued = SDL_GetQueuedAudioSize(device) / sizeof(float);
    while (next < total && queued < QUEUE_AHEAD_SAMPLES) {
        const std::size_t n = static_cast<std::size_t>(std::min<std::uint64_t>(chunk.size(), total - next));
        for (std::size_t i = 0; i < n; ++i) {
            const double position = static_cast<double>((next + i) % CYCLE_SAMPLES);
            chunk[i] = AMPLITUDE * static_cast<float>(
                                       std::sin(2.0 * std::numbers::pi * TONE_HZ * position / SAMPLE_RATE));
        }
        if (SDL_QueueAudio(device, chunk.data(), static_cast<Uint32>(n * sizeof(float))) != 0) return false;
        next += n;
        queued += n;
    }
    return true;
}

void play_on_device(SDL_AudioDeviceID device, const SDL_AudioSpec& spec, std::uint64_t tone_ms) {
    const std::uint64_t total = tone_samples(tone_ms);
    std::uint64_t next = 0;
    if (!top_up(device, total, next)) return;
    SDL_PauseAudioDevice(device, 0);
    // A device that goes away stops playing and would never drain its queue.
    while (SDL_GetAudioDeviceStatus(device) == SDL_AUDIO_PLAYING) {
        if (!top_up(device, total, next)) return;
        if (next == total && SDL_GetQueuedAudioSize(device) == 0) {
            // The queue is empty as soon as its last samples are in the device's buffer: let that
            // buffer play out before closing.
            SDL_Delay(static_cast<Uint32>((spec.samples * 1000 + spec.freq - 1) / spec.freq));
            return;
        }
        SDL_Delay(POLL_MS);
    }
}

void play_tone(std::uint64_t tone_ms) {
    // Each tone starts the audio subsystem afresh: the driver and device are chosen anew (one that
    // appeared or went since the last tone counts), and nothing of the audio outlives the tone.
    if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return;
    // A driver without devices, such as ALSA without a sound card, fails the open only after printing
    // its complaints to stderr. A negative count means the driver cannot list its devices: try then.
    if (SDL_GetNumAudioDevices(0) != 0) {
        SDL_AudioSpec wanted{};
        wanted.freq = SAMPLE_RATE;
        wanted.format = AUDIO_F32SYS;
        wanted.channels = 1;
        wanted.samples = DEVICE_BUFFER_SAMPLES;
        SDL_AudioSpec obtained{};
        // No changes allowed: SDL converts the 48 kHz mono samples to whatever the device takes.
        const SDL_AudioDeviceID device = SDL_OpenAudioDevice(nullptr, 0, &wanted, &obtained, 0);
        if (device != 0) {
            play_on_device(device, obtained, tone_ms);
            SDL_CloseAudioDevice(device);
        }
    }
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace

void play_beeps(std::uint8_t count, std::uint64_t tone_ms, std::uint64_t pause_ms) {
    if (count == 0) return;
    // While its audio is up SDL would otherwise turn SIGINT and SIGTERM into quit events that nobody
    // here reads, so an interrupt during the beeps would be lost. Override, so the environment cannot
    // undo it.
    SDL_SetHintWithPriority(SDL_HINT_NO_SIGNAL_HANDLERS, "1", SDL_HINT_OVERRIDE);
    const MutedSdlLog muted;
    for (std::uint8_t i = 0; i < count; ++i) {
        play_tone(tone_ms);
        sleep_ms(pause_ms);
    }
}

}  // namespace app
