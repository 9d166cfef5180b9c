#!/usr/bin/env bash
# Installs what Vorlane needs to build, run and test on Debian 12, then
# configures and builds it in ./build. Safe to run again: it only does what is missing.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools libgl-dev libqt6svg6
    libgtest-dev googletest
    libmpg123-dev libasound2-dev libtag1-dev
    libavformat-dev libavcodec-dev libavutil-dev ffmpeg
    xvfb xauth dbus-daemon openbox trayer xdotool x11-utils
    shared-mime-info desktop-file-utils
    appstream file dpkg-dev
    icecast2 openssl liquidsoap
    clang libclang-rt-14-dev
    qt6-tools-dev qt6-tools-dev-tools qt6-l10n-tools
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo
cmake --build build --parallel "$(nproc)"
