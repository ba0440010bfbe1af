#include "test_services.hpp"

#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "common/release.hpp"

namespace app_tests {

namespace {

base::Error unset(const char* service) {
    ADD_FAILURE() << "the test reached the workflow service " << service << " without a double for it";
    return base::Error{base::ErrorKind::Other, std::string("no double for ") + service};
}

}  // namespace

app::WorkflowServices test_services() {
    app::WorkflowServices s;
    s.read_tag_uid = [](std::chrono::nanoseconds) -> base::Result<rfid::TagUid> {
        return std::unexpected(unset("read_tag_uid"));
    };
    s.find_record_by_tag = [](common::DeviceKind, const rfid::TagUid&,
                              std::string_view) -> base::Result<common::DeviceRecord> {
        return std::unexpected(unset("find_record_by_tag"));
    };
    s.article_join_eui = [](common::Article) -> base::Result<common::Eui> {
        return std::unexpected(unset("article_join_eui"));
    };
    s.probe_device = [](common::DeviceKind) -> base::Result<bool> {
        return std::unexpected(unset("probe_device"));
    };
    s.remove_firmware_file = []() -> base::Result<void> {
        return std::unexpected(unset("remove_firmware_file"));
    };
    s.prepare_firmware_file = [](std::span<const std::uint8_t>, const common::AppKey&) -> base::Result<void> {
        return std::unexpected(unset("prepare_firmware_file"));
    };
    s.flash_device = [](common::DeviceKind, std::string_view) -> base::Result<void> {
        return std::unexpected(unset("flash_device"));
    };
    s.export_record = [](const rfid::TagUid&, std::string_view,
                         const common::ArticleRevision&) -> base::Result<void> {
        return std::unexpected(unset("export_record"));
    };
    s.play_beeps = [](std::uint8_t, std::uint64_t, std::uint64_t) { (void)unset("play_beeps"); };
    s.sleep = [](std::chrono::milliseconds) { (void)unset("sleep"); };
    s.now = [] {
        (void)unset("now");
        return std::chrono::steady_clock::time_point{};
    };
    return s;
}

StationData station_data() {
    auto [sender, receiver] = app::make_report_channel();
    app::ExternalUpdate data;
    data.content.target = *common::parse_article_revision("QZT410HoNO35-TB-P-2.c");
    data.content.report_sender = std::move(sender);
    data.firmware_version = "2024.09.03.00";
    return {std::move(data), std::move(receiver)};
}

}  // namespace app_tests
