// Attempts per second of one tag-reading attempt against our own pcscd with vsmartcard's virtual
// reader, with and without a tag, beside a bare loop of the same PC/SC calls.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "pcscd.hpp"
#include "rfid/tag_reader.hpp"

namespace {

void read_tag_uid_once(benchmark::State& state, bool expect_uid) {
    for (auto _ : state) {
        const auto result = rfid::read_tag_uid_once();
        if ((result && *result) != expect_uid) {
            state.SkipWithError("unexpected outcome of an attempt");
            break;
        }
    }
    state.counters["attempts/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void bare_calls(benchmark::State& state, bool expect_uid) {
    for (auto _ : state) {
        if (rfid_test::bare_uid_attempt() != expect_uid) {
            state.SkipWithError("unexpected outcome of an attempt");
            break;
        }
    }
    state.counters["attempts/s"] =
        benchmark::Counter(static_cast<double>(state.iterations()), benchmark::Counter::kIsRate);
}

void register_pair(const char* phase, bool expect_uid) {
    const std::string suffix = std::string("/") + phase;
    benchmark::RegisterBenchmark(("bare_calls" + suffix).c_str(), bare_calls, expect_uid)->UseRealTime();
    benchmark::RegisterBenchmark(("read_tag_uid_once" + suffix).c_str(), read_tag_uid_once, expect_uid)
        ->UseRealTime();
}

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    const auto dir = std::filesystem::temp_directory_path() / ("rfid_bench_" + std::to_string(getpid()));
    std::filesystem::create_directories(dir);

    auto pcscd = rfid_test::Pcscd::start((dir / "pcscd.log").string());
    if (!pcscd) {
        std::fprintf(stderr, "%s\n", pcscd.error().message.c_str());
        return 1;
    }
    register_pair("no_tag", false);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::ClearRegisteredBenchmarks();

    auto tag = rfid_test::VirtualTag::lay_on(0, {0x04, 0xA1, 0xB2, 0xC3, 0xD4, 0xE5, 0xF6, 0x90, 0x00},
                                             (dir / "tag0.log").string());
    if (!tag) {
        std::fprintf(stderr, "%s\n", tag.error().message.c_str());
        return 1;
    }
    register_pair("tag", true);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
