#!/usr/bin/env bash
# Installs every Debian package the build, the tests and the player need. Idempotent; quiet when all
# are present.
set -euo pipefail

PACKAGES=(
  build-essential cmake ninja-build pkg-config git
  libgtest-dev libgmock-dev googletest
  clang libclang-rt-14-dev
  qt6-base-dev qt6-base-dev-tools
  libgstreamer1.0-dev libgstreamer-plugins-base1.0-dev
  gstreamer1.0-plugins-base gstreamer1.0-plugins-good gstreamer1.0-plugins-bad
  gstreamer1.0-libav gstreamer1.0-tools gstreamer1.0-alsa gstreamer1.0-pulseaudio
  libavcodec-dev libavutil-dev
  libfaad-dev nlohmann-json3-dev
  python3 libcurl4-openssl-dev python3-pyftpdlib
  ffmpeg
  fonts-noto-cjk fonts-liberation2 libfontconfig-dev
  python3-pil
  xvfb xauth
  dbus-daemon
)

missing=()
for p in "${PACKAGES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "install-deps: missing packages (${missing[*]}); run as root" >&2
  exit 1
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
