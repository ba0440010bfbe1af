#!/usr/bin/env bash
# A simulated station, to try the program without hardware: sets up and builds as the other scripts
# do, then opens the bench build of the station with a virtual tag of a known device on a virtual
# reader (pcscd with vpcd), a programmer stand-in that finds the device at the third probe and a
# mail relay on loopback. With a display of your own you drive the window and close it when done;
# without one it runs under Xvfb, updates the device by itself and leaves a screenshot. At the end it
# stops every peer and prints where the day's CSV file and the received mail are.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
bash "$root/scripts/setup.sh" --tests
bash "$root/scripts/build.sh" -DBUILD_TESTING=ON
# pcscd, vpcd's ports and the relay's port exist once per machine: the fixtures that start them, here
# and in the tests, hold /run/lock/caldrinex-bench.lock while they run, so a simulated station and a
# test run wait for each other.
exec "$build_dir/app/tests/e2e/station_simulate"
