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
    // of it dropped. A toolkit that cannot start ends the process itself (see launch_window), and so
    // does one that loses its display: `display_lost` runs first.
    std::function<void(const WindowDesc&, ExternalUpdate, const std::function<void()>& display_lost)> launch;
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
// The same of what is queued now, without waiting.
[[nodiscard]] std::vector<rfid::TagUid> queued_reported_uids(ReportReceiver& receiver);

// Qt's launch: an application object, then run_window. When Qt cannot start (no display), the
// process ends here with STARTUP_FAILED and "Failed to launch application: " followed by Qt's messages.
// When the X server goes away while the window is open, Qt ends the process with exit code 1 right
// after its warning "The X11 connection broke ..."; `display_lost` runs between the two.
void launch_window(const WindowDesc& window, ExternalUpdate data, const std::function<void()>& display_lost);

// The window over a host of the data and the event loop, in the application object that exists;
// returns once the window has closed, with the window and the data gone. SIGTERM, SIGINT and SIGHUP
// close the window as its close button does. A close, of either kind, that comes while a device is
// being flashed or listed waits until that device's update has ended with its tones; any other close
// takes effect once the running step has ended, and no further step starts.
void run_window(const WindowDesc& window, ExternalUpdate data);

}  // namespace app
