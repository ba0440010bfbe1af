#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and starts the station program in the current
# working directory, where it keeps the day's credentials CSV file.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
exec "${BUILD_DIR:-$root/build}/app/caldrinex_update"
