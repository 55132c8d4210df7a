#!/usr/bin/env bash
# Builds the Debian package graybench_<version>_<arch>.deb from the optimised
# build and prints its path. The package holds what `cmake --install` installs.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release >&2
cd build/release
cpack -G DEB >/dev/null
ls -1 "$PWD"/graybench_*.deb | tail -n 1
