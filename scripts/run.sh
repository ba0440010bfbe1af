#!/usr/bin/env bash
# Sets up a fresh Debian 12 machine with what building and running need, builds the station program
# and starts it in the current working directory, where it keeps the day's credentials CSV file.
# Extra arguments go to CMake (the STATION_... values of a build for a customer, see the README).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
build_dir=${BUILD_DIR:-$root/build}
bash "$root/scripts/setup.sh"
# A new build directory leaves the tests out, whose tools this machine may not have; one that exists
# keeps its own choice.
testing=()
[ -f "$build_dir/CMakeCache.txt" ] || testing=(-DBUILD_TESTING=OFF)
cmake -S "$root" -B "$build_dir" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DWARNINGS_AS_ERRORS=ON "${testing[@]}" "$@" >/dev/null
cmake --build "$build_dir" -j"$(nproc)" --target caldrinex_update
exec "$build_dir/app/caldrinex_update"
