#!/usr/bin/env bash
# Builds the fuzz target with clang (libFuzzer, ASan, UBSan) in its own
# build folder and runs it for a bounded time on a starting corpus of the
# Authenticode fixtures. Usage: run_fuzz.sh [seconds] (default 60).
# Prints libFuzzer's closing statistics; exits non-zero on a finding.
set -euo pipefail
seconds=${1:-60}
root=$(cd "$(dirname "$0")/../.." && pwd)
build=$root/build/fuzz
flags="-fsanitize=fuzzer-no-link,address,undefined -fno-omit-frame-pointer -fno-sanitize-recover=all"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_CXX_FLAGS="$flags" -DCMAKE_EXE_LINKER_FLAGS="-fsanitize=address,undefined" -DVELTO_FUZZ=ON >/dev/null
cmake --build "$build" --target authenticode_fuzz -j2 >/dev/null
seeds=$build/authenticode-seeds
if [[ ! -d $seeds/files ]]; then
  bash "$root/tests/authenticode/fixtures/make_fixtures.sh" "$seeds"
fi
corpus=$build/authenticode-corpus
mkdir -p "$corpus"
"$build/tests/authenticode/authenticode_fuzz" -max_total_time="$seconds" -max_len=16384 -rss_limit_mb=1024 \
  -print_final_stats=1 -artifact_prefix="$build/" "$corpus" "$seeds/files" 2>&1 | tail -n 25
