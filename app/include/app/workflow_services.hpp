#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <span>
#include <string_view>

#include "base/error.hpp"
#include "common/article.hpp"
#include "common/eui.hpp"
#include "common/key.hpp"
#include "common/record.hpp"
#include "rfid/tag_uid.hpp"

namespace app {

// Everything outside the program that the workflow's steps reach: the tag reader, the table lookups,
// the programmer tool, the work file, the CSV file, the speaker and time. Default-made, it holds the
// real services; tests replace single members with doubles.
struct WorkflowServices {
    std::function<base::Result<rfid::TagUid>(std::chrono::nanoseconds timeout)> read_tag_uid;
    std::function<base::Result<common::DeviceRecord>(common::DeviceKind, const rfid::TagUid&,
                                                     std::string_view table)>
        find_record_by_tag;
    std::function<base::Result<common::Eui>(common::Article)> article_join_eui;
    std::function<base::Result<bool>(common::DeviceKind)> probe_device;
    std::function<base::Result<void>()> remove_firmware_file;
    std::function<base::Result<void>(std::span<const std::uint8_t> image, const common::AppKey&)>
        prepare_firmware_file;
    std::function<base::Result<void>(common::DeviceKind, std::string_view path)> flash_device;
    std::function<base::Result<void>(const rfid::TagUid&, std::string_view table,
                                     const common::ArticleRevision& target)>
        export_record;
    std::function<void(std::uint8_t count, std::uint64_t tone_ms, std::uint64_t pause_ms)> play_beeps;
    std::function<void(std::chrono::milliseconds)> sleep;
    std::function<std::chrono::steady_clock::time_point()> now;

    WorkflowServices();
};

}  // namespace app
