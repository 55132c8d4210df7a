#!/usr/bin/env bash
# Installs what is missing, builds GrayBench with its tests and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release
ctest --preset release -j "$(nproc)"
