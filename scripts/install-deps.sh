#!/usr/bin/env bash
# Installs what building and testing Quillon needs on Debian 12, skipping what is there already.
# Run as root or as a user who may use sudo.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config
  clang libclang-rt-14-dev
  qt6-base-dev libqt6sql6-sqlite libssl-dev
  nlohmann-json3-dev
  libsdl2-dev libsndfile1-dev libsoxr-dev
  libavformat-dev libavcodec-dev libswscale-dev libavutil-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  xvfb xauth xdotool x11-utils x11-apps python3 fonts-ipafont-gothic dbus-daemon dbus-bin
  desktop-file-utils appstream shared-mime-info libglib2.0-bin groff-base file
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
  echo "install-deps: everything is installed"
  exit 0
fi

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "install-deps: installing ${missing[*]}"
"${sudo[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
