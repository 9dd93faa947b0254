#!/usr/bin/env bash
# Builds the benchmarks optimised and runs them; extra arguments go to Google Benchmark.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build/bench" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_BENCH=ON -DKESTREL_TESTS=OFF -DKESTREL_GUI=ON
cmake --build "$here/build/bench" --target worddoc_bench zip_codec_bench package_write_bench kestrelpad-cli gui_memory_bench
"$here/build/bench/bench/worddoc_bench" "$@"
"$here/build/bench/bench/zip_codec_bench" "$@"
"$here/build/bench/bench/package_write_bench" 100
# Memory must not grow with the package: 1 GiB, peak resident size as /usr/bin/time sees it.
/usr/bin/time -v "$here/build/bench/bench/package_write_bench" 1024 2>&1 | grep -E "package of|the copy|peak memory|Maximum resident"
# The companion over 100 and 1,000 document copies against exiftool, a Python reader, Apache POI,
# python-docx and cp with each copy synced; its peak memory over 100 and 50,000 documents; its
# system calls and syncs per document.
python3 "$here/bench/cli_bench.py" "$here/build/bench/cli/kestrelpad-cli"
# System calls per document of show, set and set --backup under strace, start-up left out.
python3 "$here/bench/syscalls.py" "$here/build/bench/cli/kestrelpad-cli"
# Peak memory of show and set on hostile packages and compound files, against 64 MB.
python3 "$here/bench/hostile_memory.py" "$here/build/bench/cli/kestrelpad-cli"
# The window over 200 and 2,000 documents: peak memory of the batch change and the CSV export.
QT_QPA_PLATFORM=offscreen python3 "$here/bench/gui_memory.py" "$here/build/bench/bench/gui_memory_bench"
