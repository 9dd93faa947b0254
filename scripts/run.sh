#!/usr/bin/env bash
# Sets up what building and running the program needs, builds it and starts it; arguments go to
# the program (documents to list, --help, --version). Without a display, try it under Xvfb:
#   xvfb-run bash scripts/run.sh
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh" run
cmake -S "$here" -B "$here/build/release" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF
cmake --build "$here/build/release"
exec "$here/build/release/app/kestrelpad" "$@"
