#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine, builds everything and runs every test. The tests start the
# services they need themselves (pcscd with a virtual reader, a loopback SMTPS server, Xvfb).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
bash "$root/scripts/setup.sh" --tests
bash "$root/scripts/build.sh" -DBUILD_TESTING=ON
cd "${BUILD_DIR:-$root/build}"
ctest --output-on-failure -j"$(nproc)" --timeout 600
