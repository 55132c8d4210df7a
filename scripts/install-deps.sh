#!/usr/bin/env bash
# Installs the Debian 12 packages GrayBench needs to build, test and run, if any
# are missing. Runs apt-get as root, or through sudo.
set -euo pipefail

packages=(
    g++ cmake ninja-build pkg-config
    qt6-base-dev qt6-multimedia-dev qt6-image-formats-plugins libgl-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    # The common picture kinds are decoded directly (libspng: a benchmark peer only).
    libspng-dev libturbojpeg0-dev libtiff-dev libpng-dev
    # Recipes are JSON files.
    nlohmann-json3-dev
    # Sanitizer and fuzz builds: clang 14 with its runtimes (libFuzzer among them).
    clang-14 libclang-rt-14-dev
    # Cameras: Qt Multimedia reaches V4L2 devices through GStreamer's v4l2src.
    gstreamer1.0-plugins-base gstreamer1.0-plugins-good
    # The video window's texts are Chinese characters.
    fonts-noto-cjk
    # The Debian package: dependencies read off the binaries, and its check.
    dpkg-dev lintian desktop-file-utils appstream
    # The Python module and its tests run on Debian's own python3.
    python3-dev pybind11-dev python3-numpy python3-pytest python3-dask python3-distributed
    # The user's guide is rendered to HTML at build time.
    python3-markdown
)

# The arm64 check (scripts/test-arm64.sh): a cross compiler and an emulator.
# Optional: where they cannot be installed, that check is skipped.
optional=(g++-aarch64-linux-gnu qemu-user)

installed() { [[ "$(dpkg-query -W -f='${Status}' "$1" 2>/dev/null || true)" == "install ok installed" ]]; }
missing=() missingOptional=()
for p in "${packages[@]}"; do installed "$p" || missing+=("$p"); done
for p in "${optional[@]}"; do installed "$p" || missingOptional+=("$p"); done
[[ ${#missing[@]} -eq 0 && ${#missingOptional[@]} -eq 0 ]] && exit 0

sudo=()
[[ $(id -u) -eq 0 ]] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -qq || [[ ${#missing[@]} -eq 0 ]]
if [[ ${#missing[@]} -gt 0 ]]; then
    echo "Installing: ${missing[*]}"
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
if [[ ${#missingOptional[@]} -gt 0 ]]; then
    echo "Installing (optional): ${missingOptional[*]}"
    "${sudo[@]}" apt-get install -y -qq --no-install-recommends "${missingOptional[@]}" ||
        echo "Could not install ${missingOptional[*]}: the arm64 check will be skipped"
fi
