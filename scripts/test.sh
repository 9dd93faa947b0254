#!/usr/bin/env bash
# Sets up what building and testing need, builds with AddressSanitizer and
# UndefinedBehaviorSanitizer and runs every test; builds the program as the run command does, too.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh" run test
cmake -S "$here" -B "$here/build/test" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTREL_SANITIZE=ON
cmake --build "$here/build/test"
# The program as the run command builds it: optimised code draws other compiler warnings.
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF
cmake --build "$here/build/release"
export QT_QPA_PLATFORM=offscreen
ctest --test-dir "$here/build/test" --output-on-failure -j"$(nproc)" "$@"
