#!/usr/bin/env bash
# Screenshots of the program under Xvfb, with six test documents listed: the single tab, each
# in-place editor open, the batch tab filled (and its date editor open), the progress dialogs of
# the batch change and of the CSV export halfway through their runs, the window after the batch
# run with a failed document's tooltip, the hint window and the about box.
#
# usage: bash scripts/screenshots.sh [OUTPUT_FOLDER]   (default: build/screenshots/png)
#
# The same again at 200 % on a 1366x768 screen, in OUTPUT_FOLDER/200.
#
# The tool kestrelpad_screenshots (tests/app) opens the program's windows, lists the documents
# through the open-dialog command and saves each window as the X server shows it.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
out=$(realpath -m "${1:-$here/build/screenshots/png}")
bash "$here/scripts/setup.sh"
cmake -S "$here" -B "$here/build/screenshots" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DKESTREL_TESTS=ON >/dev/null
cmake --build "$here/build/screenshots" --target kestrelpad_screenshots

# Copies: the batch run changes them, and not even a read may touch the checked-in documents.
docs=$(mktemp -d)
trap 'rm -rf "$docs"' EXIT
# Six, so the progress dialogs pass 50%; one damaged package, so the batch run has a failure.
names=(lo-ascii-full.docx truncated.docx lo-ascii-full.doc poi-ja-cp932.doc lo-ja-full.docx lo-ja-full.doc)
for name in "${names[@]}"; do cp "$here/tests/data/$name" "$docs/"; done
mkdir -p "$out"
TZ=${TZ:-Asia/Tokyo} QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1280x1024x24" \
  "$here/build/screenshots/tests/app/kestrelpad_screenshots" "$out" "${names[@]/#/$docs/}"
# Copies again: the first run changed them.
for name in "${names[@]}"; do cp "$here/tests/data/$name" "$docs/"; done
mkdir -p "$out/200"
TZ=${TZ:-Asia/Tokyo} QT_SCALE_FACTOR=2 QT_QPA_PLATFORM=xcb xvfb-run -a -s "-screen 0 1366x768x24" \
  "$here/build/screenshots/tests/app/kestrelpad_screenshots" "$out/200" "${names[@]/#/$docs/}"
