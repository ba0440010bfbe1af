#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine and builds everything. The window program is not part of the
# build yet, so there is nothing to start.
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh"
bash "$root/scripts/build.sh"
echo "Built the libraries and their tests in ${BUILD_DIR:-$root/build}; the window program does not exist yet."
