#!/usr/bin/env bash
# Sets up (dependencies, configure, build) and runs the whole test suite.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# The benchmarks are built on request only; they must keep building.
cmake --build build --target benchmarks --parallel "$(nproc)"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir build --output-on-failure --parallel "$(nproc)"
# The parsers' fuzz targets, a few seconds each, where clang and its libFuzzer
# runtime are installed (VORLANE_FUZZ_SECONDS=0 skips them).
fuzz_seconds="${VORLANE_FUZZ_SECONDS:-8}"
if [ "$fuzz_seconds" != 0 ] && command -v clang++ >/dev/null &&
    [ -e "$(clang++ -print-resource-dir)/lib/linux/libclang_rt.fuzzer-x86_64.a" ]; then
    scripts/run-fuzzers.sh "$fuzz_seconds"
fi
# The installed package, where this machine may be changed (CI runs as root).
if [ "$(id -u)" -eq 0 ] && [ "${VORLANE_PACKAGE_CHECK:-1}" != 0 ]; then
    scripts/check-package.sh
fi
