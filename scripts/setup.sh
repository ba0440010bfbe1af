#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test. Safe to run again:
# when everything is already there it says nothing and touches nothing.
set -euo pipefail

packages=(
  # toolchain and test framework
  g++ cmake make pkg-config git libgtest-dev libgmock-dev libbenchmark-dev
  # fuzz targets: clang with libc++ and libFuzzer
  clang-16 libc++-16-dev libc++abi-16-dev libclang-rt-16-dev
  # text: ICU checks the quoted form's escape table, made from the Unicode data of ICU's version
  libicu-dev unicode-data
  # PC/SC: the library, the service and a virtual reader with virtual cards for the tests
  libpcsclite-dev pcscd vsmartcard-vpcd python3-virtualsmartcard python3
  # window, child processes
  qt6-base-dev libgl-dev fonts-dejavu-core
  # audio
  libsdl2-dev
  # report mail: composing and sending, and a loopback SMTPS server with its own test CA
  libgmime-3.0-dev libcurl4-openssl-dev python3-aiosmtpd openssl ca-certificates
  # the core cross-built for Windows and its tests run under wine (scripts/test-windows.sh); the
  # posix thread model, as GoogleTest needs std::mutex
  g++-mingw-w64-x86-64-posix wine64
  # a real window for the end-to-end tests
  xvfb openbox wmctrl xdotool x11-utils imagemagick sox tesseract-ocr strace
  # the figures read windows straight from the X server
  libx11-dev
)

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
