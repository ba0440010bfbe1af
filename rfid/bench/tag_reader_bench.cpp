// Attempts per second of one tag-reading attempt against our own pcscd with vsmartcard's virtual
// reader, with and without a tag, beside a bare loop of the same PC/SC calls. pcscd is shared with
// whatever else runs on the machine, so compare medians of interleaved repetitions:
//   rfid_bench --benchmark_repetitions=12 --benchmark_enable_random_interleaving=true
//              --benchmark_min_time=0.3 --benchmark_report_aggregates_only=true
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <optional>

#include "pcscd.hpp"
#include "rfid/tag_reader.hpp"

namespace {

// The bench's own peers: pcscd for the whole run, the tag laid on and taken off as a benchmark needs.
struct Peers {
    std::filesystem::path dir;
    std::optional<rfid_test::Pcscd> pcscd;
    std::optional<rfid_test::VirtualTag> tag;

    bool set_tag(benchmark::State& state, bool wanted) {
        if (wanted && !tag) {
            auto laid = rfid_test::VirtualTag::lay_on(
                0, {0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x90, 0x00}, (dir / "tag0.log").string());
            if (!laid) {
                state.SkipWithError(laid.error().message.c_str());
                return false;
            }
            tag = std::move(*laid);
        } else if (!wanted && tag) {
            const auto taken = tag->take_off();
            tag.reset();
            if (!taken) {
                state.SkipWithError(taken.error().message.c_str());
                return false;
            }
        }
        return true;
    }
};

Peers peers;

void count_attempts(benchmark::State& state) {
    state.counters["attempts/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void read_tag_uid_once(benchmark::State& state, bool with_tag) {
    if (!peers.set_tag(state, with_tag)) return;
    for (auto _ : state) {
        const auto result = rfid::read_tag_uid_once();
        if ((result && *result) != with_tag) {
            state.SkipWithError("unexpected outcome of an attempt");
            break;
        }
    }
    count_attempts(state);
}

void bare_calls(benchmark::State& state, bool with_tag) {
    if (!peers.set_tag(state, with_tag)) return;
    for (auto _ : state) {
        if (rfid_test::bare_uid_attempt() != with_tag) {
            state.SkipWithError("unexpected outcome of an attempt");
            break;
        }
    }
    count_attempts(state);
}

}  // namespace

BENCHMARK_CAPTURE(bare_calls, no_tag, false)->UseRealTime();
BENCHMARK_CAPTURE(read_tag_uid_once, no_tag, false)->UseRealTime();
BENCHMARK_CAPTURE(bare_calls, tag, true)->UseRealTime();
BENCHMARK_CAPTURE(read_tag_uid_once, tag, true)->UseRealTime();

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    peers.dir = std::filesystem::temp_directory_path() / ("rfid_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(peers.dir);
    auto pcscd = rfid_test::Pcscd::start((peers.dir / "pcscd.log").string());
    if (!pcscd) {
        std::fprintf(stderr, "%s\n", pcscd.error().message.c_str());
        return 1;
    }
    peers.pcscd = std::move(*pcscd);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    peers.tag.reset();
    peers.pcscd.reset();
    return 0;
}
