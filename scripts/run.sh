#!/usr/bin/env bash
# Installs what is missing, builds an optimised GrayBench and starts it.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target graybench
exec build/release/graybench "$@"
