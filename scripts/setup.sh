#!/usr/bin/env bash
# Installs the Debian packages the project needs. Safe to run again: when everything is already there
# it says nothing and touches nothing.
#
#   scripts/setup.sh           what building and running the station program needs
#   scripts/setup.sh --tests   that, and what the tests, the simulation, the Windows cross build and
#                              the fuzz targets need as well
set -euo pipefail

packages=(
  # toolchain
  g++ cmake make pkg-config git
  # PC/SC: the library and the service
  libpcsclite-dev pcscd
  # window, child processes
  qt6-base-dev libgl-dev fonts-dejavu-core
  # audio
  libsdl2-dev
  # report mail: composing and sending over TLS
  libgmime-3.0-dev libcurl4-openssl-dev ca-certificates
)

test_packages=(
  # test framework
  libgtest-dev libgmock-dev libbenchmark-dev
  # fuzz targets: clang with libc++ and libFuzzer
  clang-16 libc++-16-dev libc++abi-16-dev libclang-rt-16-dev
  # text: ICU checks the quoted form's escape table, made from the Unicode data of ICU's version
  libicu-dev unicode-data
  # a virtual reader with virtual cards; the generators of the committed tables
  vsmartcard-vpcd python3-virtualsmartcard python3
  # a loopback SMTPS server with its own test CA
  python3-aiosmtpd openssl
  # the core cross-built for Windows and its tests run under wine (scripts/test-windows.sh); the
  # posix thread model, as GoogleTest needs std::mutex
  g++-mingw-w64-x86-64-posix wine64
  # a real window for the end-to-end tests
  xvfb openbox wmctrl xdotool x11-utils imagemagick sox tesseract-ocr strace
  # the figures read windows straight from the X server
  libx11-dev
)

case "${1:-}" in
  "") ;;
  --tests) packages+=("${test_packages[@]}") ;;
  *) echo "usage: $0 [--tests]" >&2; exit 2 ;;
esac

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -eq 0 ]; then sudo=(); else sudo=(sudo); fi
echo "Installing: ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null

# Without systemd the package's install may start pcscd through its init script; the tests start
# and stop their own pcscd and cannot while another holds its socket.
if [[ " ${missing[*]} " == *" pcscd "* ]] && [ ! -d /run/systemd/system ] && [ -x /etc/init.d/pcscd ]; then
  "${sudo[@]}" /etc/init.d/pcscd stop >/dev/null 2>&1 || true
fi
