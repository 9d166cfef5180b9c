#!/usr/bin/env bash
# Builds the libFuzzer targets of tests/fuzz with clang in build-fuzz and runs
# each for a while from its seed corpus. Usage: scripts/run-fuzzers.sh [SECONDS]
# (default 10 per target). New inputs go to a scratch directory, not the tree;
# a crash leaves its input in build-fuzz/findings/.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds="${1:-10}"

launcher=()
if command -v ccache >/dev/null; then
    launcher=(-DCMAKE_CXX_COMPILER_LAUNCHER=ccache)
fi
CC=clang CXX=clang++ cmake -S . -B build-fuzz -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DVORLANE_FUZZ=ON -DVORLANE_BUILD_GUI=OFF -DVORLANE_BUILD_TESTS=OFF "${launcher[@]}" >/dev/null
cmake --build build-fuzz --target vorlane_fuzzers --parallel "$(nproc)"

scratch="$(mktemp -d)"
trap 'rm -rf "$scratch"' EXIT
mkdir -p build-fuzz/findings
status=0
for target in build-fuzz/tests/fuzz/fuzz_*; do
    [ -f "$target" ] && [ -x "$target" ] || continue
    name="$(basename "$target")"
    seeds="tests/fuzz/corpus/${name#fuzz_}"
    mkdir -p "$scratch/$name" "$seeds"
    echo "== $name (${seconds} s)"
    if ! "$target" -max_total_time="$seconds" -max_len=65536 -print_final_stats=1 \
        -artifact_prefix="build-fuzz/findings/$name-" "$scratch/$name" "$seeds" 2>"$scratch/$name.log"; then
        tail -n 40 "$scratch/$name.log"
        status=1
    fi
    grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$scratch/$name.log" || true
done
exit $status
