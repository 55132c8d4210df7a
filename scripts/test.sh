#!/usr/bin/env bash
# Installs what is missing, builds GrayBench with its tests and runs every test:
# first the optimised build, then the same tests built with AddressSanitizer and
# UndefinedBehaviorSanitizer (any report fails the run), then a short run of
# every fuzz target from its seed corpus. Between the first two, the Debian
# package is built from the optimised build and checked.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs=$(nproc)

cmake --preset release >/dev/null
cmake --build --preset release
ctest --preset release -j "$jobs"

echo "== Debian package: build, unpack into a scratch root, start, lintian"
scripts/check-package.sh

echo "== sanitizer run: AddressSanitizer + UndefinedBehaviorSanitizer, halt on error"
cmake --preset asan >/dev/null
cmake --build --preset asan
ctest --preset asan -j "$jobs"

echo "== fuzz smoke run: every target from its seeds, 3 s of new inputs each"
scripts/fuzz.sh 3

echo "== arm64 check: the core tests cross-compiled and run under qemu-aarch64"
scripts/test-arm64.sh
