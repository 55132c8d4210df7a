#!/usr/bin/env bash
# Installs the Debian 12 packages GrayBench needs to build, test and run, if any
# are missing. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-multimedia-dev qt6-image-formats-plugins libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    # Recipes are JSON files.
    nlohmann-json3-dev
    # Sanitizer and fuzz builds: clang 14 with its runtimes (libFuzzer among them).
    clang-14 libclang-rt-14-dev
    # Cameras: Qt Multimedia reaches V4L2 devices through GStreamer's v4l2src.
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    # The video window's texts are Chinese characters.
    fonts-noto-cjk
    # The Python module and its tests run on Debian's own python3.
    python3-dev pybind11-dev python3-numpy python3-pytest python3-dask python3-distributed
)

missing=()
for p in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null || true)
    [[ "$status" == "install ok installed" ]] || missing+=("$p")
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq
"${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
