#!/usr/bin/env bash
# Builds the fuzz targets with clang and libFuzzer and runs one of them.
# usage: fuzz/run.sh TARGET SECONDS   (TARGET: one of the targets in fuzz/CMakeLists.txt)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
target=$1 seconds=$2
mkdir -p "$here/build"
# Several targets may run at once; they share one build folder, built by one at a time.
(
  flock 9
  cmake -S "$here" -B "$here/build/fuzz" -G Ninja -DCMAKE_CXX_COMPILER=clang++ -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKESTREL_FUZZ=ON -DKESTREL_TESTS=OFF -DKESTREL_GUI=OFF >/dev/null
  cmake --build "$here/build/fuzz" --target "$target"
) 9>"$here/build/fuzz.lock"
work="$here/fuzz/work/$target"
mkdir -p "$work"
seeds=("$here/tests/data")
[[ -d "$here/fuzz/seeds" ]] && seeds+=("$here/fuzz/seeds")
cd "$work"
"$here/build/fuzz/fuzz/$target" -max_total_time="$seconds" -max_len=1048576 -rss_limit_mb=4096 -print_final_stats=1 \
  "$work" "${seeds[@]}"
