#pragma once

#include <cstdint>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/report_channel.hpp"
#include "app/report_mail.hpp"
#include "app/state.hpp"
#include "app/ui.hpp"
#include "app/workflow_services.hpp"
#include "base/error.hpp"
#include "common/article.hpp"
#include "common/record.hpp"
#include "rfid/tag_uid.hpp"

namespace app {

// Exit code when start-up stops: a built-in constant is unusable or the window cannot be opened.
inline constexpr int STARTUP_FAILED = 101;

// What varies between builds. A program's own values are its build constants, generated for each
// program target from app/program/station_constants.hpp.in; tests pass their own.
struct StartupConfig {
    std::string target;
    std::string customer;
    std::string window_title;
    double window_width = 0;
    double window_height = 0;
    bool rfid_mode = false;
    MailSettings mail;
    std::string_view credential_table = {};
    std::span<const std::uint8_t> firmware_image = {};
};

// The one window: its widget tree, title and initial size.
struct WindowDesc {
    UiBuilder root;
    std::string title;
    double width = 0;
    double height = 0;
};

// Everything start-up reaches outside the program. Default-made, it holds the real ones.
struct StartupServices {
    std::function<base::Result<void>(common::DeviceKind, const common::Customer&)> create_credentials_csv;
    // Opens the window over the data and returns when it has been closed, with the data and every copy
    // of it dropped. An error is the toolkit's, when it cannot be launched.
    std::function<base::Result<void>(const WindowDesc&, ExternalUpdate)> launch;
    std::function<base::Result<void>(std::string_view customer, const common::ArticleRevision& target,
                                     std::string_view firmware_release, std::span<const rfid::TagUid> uids,
                                     const MailSettings& settings)>
        send_report_mail;
    WorkflowServices workflow;

    StartupServices();
};

// The program's whole life: start-up, the window, then the report of the devices updated meanwhile.
// Returns the process exit code: 0 once the window has closed, STARTUP_FAILED when start-up stops.
[[nodiscard]] int run_station(const StartupConfig& config, StartupServices services = {});

// Every UID still queued, each once, in order of first arrival. Waits until no sending handle is left.
[[nodiscard]] std::vector<rfid::TagUid> collect_reported_uids(ReportReceiver& receiver);

// Qt's launch: an application object, the window over a host of the data, the event loop. When Qt
// cannot start (no display), the process ends here with STARTUP_FAILED and
// "Failed to launch application: " followed by Qt's messages.
[[nodiscard]] base::Result<void> launch_window(const WindowDesc& window, ExternalUpdate data);

}  // namespace app
