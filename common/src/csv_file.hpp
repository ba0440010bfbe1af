#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "base/error.hpp"

namespace common::csv_file {

// A file opened for appending only, closed when it goes out of scope: every path closes it.
class AppendFile {
  public:
    explicit AppendFile(std::intptr_t handle) : handle_(handle) {}
    AppendFile(AppendFile&& other) noexcept : handle_(other.handle_) { other.handle_ = kClosed; }
    AppendFile& operator=(AppendFile&&) = delete;
    AppendFile(const AppendFile&) = delete;
    AppendFile& operator=(const AppendFile&) = delete;
    ~AppendFile();

    // Writes all of the text at the end of the file. An append that fails leaves the file as long
    // as it was: no part of the text stays for the next line to run on from.
    [[nodiscard]] base::Result<void> append(std::string_view text);

    // A failed close can mean the row never reached the file, so it is reported like a failed write.
    [[nodiscard]] base::Result<void> close();

    static constexpr std::intptr_t kClosed = -1;

  private:
    std::intptr_t handle_;
};

// Creates the file; fails with AlreadyExists when it is there. Others may read, write and delete it
// while it is open.
[[nodiscard]] base::Result<AppendFile> create_new(const std::string& name);

// Opens an existing file; never creates one.
[[nodiscard]] base::Result<AppendFile> open_existing(const std::string& name);

}  // namespace common::csv_file
