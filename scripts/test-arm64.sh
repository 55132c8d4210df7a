#!/usr/bin/env bash
# Cross-compiles the image core, the commands and core_tests for 64-bit Arm
# (no intrinsics there: every kernel takes its plain path) and runs core_tests
# under qemu-aarch64. The tests compare exact values, so passing them shows the
# results equal those on x86-64. Skips, and succeeds, when Debian's cross
# compiler (g++-aarch64-linux-gnu) or qemu-user is missing.
#
#   scripts/test-arm64.sh [gtest filter]
set -euo pipefail
cd "$(dirname "$0")/.."

missing=()
command -v aarch64-linux-gnu-g++ >/dev/null || missing+=(g++-aarch64-linux-gnu)
command -v qemu-aarch64 >/dev/null || missing+=(qemu-user)
[[ -d /usr/src/googletest ]] || missing+=(googletest)
if [[ ${#missing[@]} -gt 0 ]]; then
    echo "== arm64 check skipped: missing ${missing[*]} (scripts/install-deps.sh installs them)"
    exit 0
fi

build=build/arm64
# nlohmann-json is header-only: its headers and CMake files serve any processor.
stage=$PWD/$build/host-stage
mkdir -p "$stage/usr/include" "$stage/usr/share/cmake"
cp -r /usr/include/nlohmann "$stage/usr/include/"
cp -r /usr/share/cmake/nlohmann_json "$stage/usr/share/cmake/"

launcher=()
command -v ccache >/dev/null && launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
start=$SECONDS
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$PWD/cmake/aarch64-linux-gnu.cmake" \
    -DGRAYBENCH_HOST_STAGE="$stage" -DGRAYBENCH_CORE_ONLY=ON \
    -DGRAYBENCH_BUILD_BENCH=OFF "${launcher[@]}" >/dev/null
cmake --build "$build" --target core_tests
built=$SECONDS

# One emulated process keeps one core busy, and two searches compared with
# their literal versions take most of the emulated time: each runs in its own
# process, everything else in a third. (A name that no longer matches only
# moves its test to the third.)
filter=${1:-*}
slow1='MatchPattern.EqualsTheLiteralSearchOnSmoothPicturesWithFeaturelessTemplates'
slow2='MatchPattern.EqualsTheLiteralSearchWhereEveryBlockMatches'
if [[ $filter == '*' ]]; then
    parts=("$slow1" "$slow2" "*-$slow1:$slow2")
else
    parts=("$filter")
fi
echo "== arm64: core_tests under qemu-aarch64 (filter: $filter, ${#parts[@]} processes)"
pids=()
for i in "${!parts[@]}"; do
    qemu-aarch64 -L /usr/aarch64-linux-gnu "$build/core_tests" --gtest_filter="${parts[$i]}" \
        --gtest_brief=1 >"$build/part-$i.log" 2>&1 &
    pids+=($!)
done
failed=0
for i in "${!parts[@]}"; do
    wait "${pids[$i]}" || failed=1
    cat "$build/part-$i.log"
done
echo "== arm64: build $((built - start)) s, tests $((SECONDS - built)) s"
exit "$failed"
