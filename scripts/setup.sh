#!/usr/bin/env bash
# Installs every Debian 12 package that building, testing and demoing the
# project needs. Idempotent: asks dpkg first, and runs apt-get (update, then
# install) only for what is missing, so a second run installs nothing.
# Non-interactive; never reads stdin. Run as root (or with sudo available).
set -euo pipefail

packages=(
  # Native build, tests, sanitizers, fuzzing, benchmark and its peers
  g++ clang libclang-rt-14-dev cmake ninja-build googletest
  libbenchmark-dev libspeexdsp-dev libsoundtouch-dev
  # Cross toolchain (posix thread model, for std::thread / std::mutex)
  g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev mingw-w64-tools
  # Wine 8, 64-bit only
  wine wine64 libwine fonts-wine fonts-liberation libxrender1 libxrandr2 libxcursor1
  libxi6 libxfixes3 libxcomposite1 libxinerama1 libxxf86vm1 libgnutls30 libdbus-1-3
  # The Windows setup program (makensis)
  nsis
  # Virtual display and screenshots
  xvfb xauth xdotool imagemagick x11-utils fonts-dejavu-core
  # Screenshots close to Windows: Liberation Sans stands in for Segoe UI (above,
  # with Wine), Symbola gives the emoji (🎭 🎤 ⌨) outlines through font linking
  fonts-symbola
  # Sound server, recording tools, test audio
  pulseaudio pulseaudio-utils sox libsox-fmt-pulse espeak-ng
  # Analysis of what the Wine audio tests recorded (run with /usr/bin/python3)
  python3 python3-numpy
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Abbrev}' "$p" 2>/dev/null || true)
  [[ $status == ii* ]] || missing+=("$p")
done

if ((${#missing[@]} == 0)); then
  echo "setup: all ${#packages[@]} packages already installed"
  exit 0
fi

echo "setup: installing ${#missing[@]} package(s): ${missing[*]}"
SUDO=()
if ((EUID != 0)); then
  command -v sudo >/dev/null || { echo "setup: must run as root (or have sudo)" >&2; exit 1; }
  SUDO=(sudo -n env DEBIAN_FRONTEND=noninteractive)
fi
export DEBIAN_FRONTEND=noninteractive
"${SUDO[@]}" apt-get update -q </dev/null
"${SUDO[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}" </dev/null
echo "setup: done"
