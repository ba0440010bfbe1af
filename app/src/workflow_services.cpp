#include "app/workflow_services.hpp"

#include <thread>

#include "app/beeper.hpp"
#include "app/firmware_file.hpp"
#include "common/credentials_csv.hpp"
#include "common/lookup.hpp"
#include "common/release.hpp"
#include "common/stm32_programmer.hpp"
#include "rfid/tag_reader.hpp"

namespace app {

WorkflowServices::WorkflowServices()
    : read_tag_uid([](std::chrono::nanoseconds timeout) { return rfid::read_tag_uid(timeout); }),
      find_record_by_tag([](common::DeviceKind kind, const rfid::TagUid& tag, std::string_view table) {
          return common::find_record_by_tag(kind, tag, table);
      }),
      article_join_eui([](common::Article article) { return common::article_join_eui(article); }),
      probe_device([](common::DeviceKind kind) { return common::probe_device(kind); }),
      remove_firmware_file([] { return app::remove_firmware_file(); }),
      prepare_firmware_file([](std::span<const std::uint8_t> image, const common::AppKey& key) {
          return app::prepare_firmware_file(image, key);
      }),
      flash_device(
          [](common::DeviceKind kind, std::string_view path) { return common::flash_device(kind, path); }),
      export_record(
          [](const rfid::TagUid& tag, std::string_view table, const common::ArticleRevision& target) {
              return common::export_record(tag, table, target);
          }),
      play_beeps([](std::uint8_t count, std::uint64_t tone_ms, std::uint64_t pause_ms) {
          app::play_beeps(count, tone_ms, pause_ms);
      }),
      sleep([](std::chrono::milliseconds duration) { std::this_thread::sleep_for(duration); }),
      now([] { return std::chrono::steady_clock::now(); }) {}

}  // namespace app
