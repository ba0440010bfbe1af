#pragma once

#include "app/report_channel.hpp"
#include "app/state.hpp"
#include "app/workflow_services.hpp"

namespace app_tests {

// The workflow's services for a test: each member fails the test, naming the service, until the test
// puts a double in its place. Default-made services are the real ones, which a test must never reach
// by forgetting one (the PC/SC service, the programmer tool, the day's CSV file, the speaker).
[[nodiscard]] app::WorkflowServices test_services();

// The window's data as start-up makes it for the build's target, with its report channel's receiving
// end.
struct StationData {
    app::ExternalUpdate data;
    app::ReportReceiver receiver;
};
[[nodiscard]] StationData station_data();

}  // namespace app_tests
