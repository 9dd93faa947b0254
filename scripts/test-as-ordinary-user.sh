#!/usr/bin/env bash
# Runs the tests of changes, kills, attributes and backups once more as an ordinary user, created
# when missing: most people are not root, and root passes permission checks that they meet. Needs
# root and the test build of scripts/test.sh.
# usage: bash scripts/test-as-ordinary-user.sh [USER]   (default: kestrel-tester)
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
user=${1:-kestrel-tester}
((EUID == 0)) || { echo "test-as-ordinary-user.sh: run it as root, which creates the user and switches to it" >&2; exit 2; }
id -u "$user" >/dev/null 2>&1 || useradd --create-home --shell /bin/sh "$user"
# The user must reach the checkout (its tests read tests/data and run the built programs there).
folder=$here
while [[ $folder != / ]]; do
  folder=$(dirname "$folder")
  if ! runuser -u "$user" -- test -x "$folder"; then
    echo "test-as-ordinary-user.sh: $folder lets others pass now (chmod o+x), so $user reaches the checkout"
    chmod o+x "$folder"
  fi
done
mkdir -p "$here/build/test/Testing"
chown -R "$user" "$here/build/test/Testing"
home=$(getent passwd "$user" | cut -d: -f6)
runuser -u "$user" -- env -i PATH="$PATH" HOME="$home" LANG=C.UTF-8 QT_QPA_PLATFORM=offscreen \
  ctest --test-dir "$here/build/test" --output-on-failure -j"$(nproc)" \
  -R 'ApplyChange|PackageProperties|OpenDocumentPackage|PackageOther|OtherProperties|SheetChange|CliApply|PackageZipReplace|Backup|BatchChange|ChangeInZone|SingleChange|EditedRequest|CliKill|CliSet|CliPool|PlanFileState|OrdinaryUser|GenericBackend|NtfsBackend|SetFileTimestamps|CopyFile|DeleteFile|ReplacementFile|FileRecord|FileIo|HeldOpen'
