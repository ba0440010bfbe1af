#pragma once

// Test helper around the programmer tool stand-in: a fresh scratch directory per test that the
// stand-in reads its scenario from and records its calls in, handed to the child through the
// environment.

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace standin {

inline constexpr std::string_view TOOL = STM32_STANDIN_PATH;

inline void set_env(const char* name, const std::string& value) {
#ifdef _WIN32
    _putenv_s(name, value.c_str());
#else
    setenv(name, value.c_str(), 1);
#endif
}

// A new, empty directory under the system's temporary directory; removed with its content.
class ScratchDir {
  public:
    ScratchDir() {
        std::random_device seed;
        std::mt19937_64 random(seed());
        const auto base = std::filesystem::temp_directory_path();
        do {
            path_ = base / ("caldrinex_test_" + std::to_string(random()));
        } while (!std::filesystem::create_directory(path_));
    }
    ~ScratchDir() {
        std::error_code ignored;
        std::filesystem::remove_all(path_, ignored);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;

    [[nodiscard]] const std::filesystem::path& path() const { return path_; }

  private:
    std::filesystem::path path_;
};

inline std::string read_file(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

inline void write_file(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

// The stand-in as the next tool runs of this process see it.
class Tool {
  public:
    Tool() { set_env("STM32_STANDIN_DIR", dir_.path().string()); }
    ~Tool() { set_env("STM32_STANDIN_DIR", ""); }
    Tool(const Tool&) = delete;
    Tool& operator=(const Tool&) = delete;

    // key=value lines, as the stand-in's own description lists them.
    void scenario(std::string_view lines) const { write_file(dir_.path() / "scenario", lines); }

    // The tool prints exactly these bytes and ends with `exit_code`.
    void answer_raw(std::string_view output, int exit_code = 0, std::string_view more = {}) const {
        write_file(dir_.path() / "output", output);
        scenario("stdout_file=" + (dir_.path() / "output").string() +
                 "\nexit_code=" + std::to_string(exit_code) + "\n" + std::string(more));
    }

    // The arguments of every run so far, one list per run.
    [[nodiscard]] std::vector<std::vector<std::string>> calls() const {
        std::vector<std::vector<std::string>> result;
        std::istringstream lines(read_file(dir_.path() / "calls"));
        for (std::string line; std::getline(lines, line);) {
            std::vector<std::string> args;
            std::istringstream fields(line);
            for (std::string arg; std::getline(fields, arg, '\t');) args.push_back(arg);
            result.push_back(args);
        }
        return result;
    }

    // The file the stand-in was last asked to write to the device, as it read it.
    [[nodiscard]] std::string flashed() const { return read_file(dir_.path() / "flashed.bin"); }
    [[nodiscard]] bool has_flashed() const { return std::filesystem::exists(dir_.path() / "flashed.bin"); }

    [[nodiscard]] const std::filesystem::path& dir() const { return dir_.path(); }

  private:
    ScratchDir dir_;
};

}  // namespace standin
