#pragma once

// Test helper: the file descriptors this process holds open, by number, with what each refers to
// ("pipe:[4711]", a path, ...), so that a test can show which ones a call left behind. Linux only:
// it reads /proc/self/fd.

#include <filesystem>
#include <map>
#include <string>
#include <system_error>

namespace test_support {

inline std::map<int, std::string> open_descriptors() {
    namespace fs = std::filesystem;
    const fs::path listing = "/proc/self/fd";
    // The directory stream that reads the listing holds a descriptor of its own while it runs.
    const fs::path listing_itself = fs::path("/proc") / fs::read_symlink("/proc/self") / "fd";
    std::map<int, std::string> open;
    for (const fs::directory_entry& entry : fs::directory_iterator(listing)) {
        std::error_code gone;
        const fs::path target = fs::read_symlink(entry.path(), gone);
        if (gone || target == listing_itself) continue;
        open.emplace(std::stoi(entry.path().filename().string()), target.string());
    }
    return open;
}

}  // namespace test_support
