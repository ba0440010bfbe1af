#!/usr/bin/env bash
# The station's figures on the bench, side by side with a bare Qt Widgets window: start-up to the
# first painted frame, peak memory, window close to exit with a mail to send, the station's own time
# per device and a soak of 100 devices. Takes about ten minutes; run it on an otherwise quiet machine.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
bash "$root/scripts/setup.sh" --tests
bash "$root/scripts/build.sh" -DBUILD_TESTING=ON
# Its pcscd and relay hold the bench lock (/run/lock/caldrinex-bench.lock), as the tests' do.
exec "$build_dir/app/tests/e2e/station_figures"
