#!/usr/bin/env bash
# Installs the Debian packages of packages.txt that are missing: those of the groups named
# (run, test, bench, package), of every group when none is named. Installing needs root; run by
# another user, it names what is missing and stops.
# usage: bash scripts/setup.sh [GROUP...]
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
groups=("$@")
known=() missing=() group=
while read -r word _; do
  case $word in
    '' | \#*) continue ;;
    \[*\]) group=${word:1:${#word}-2} known+=("$group"); continue ;;
  esac
  if ((${#groups[@]})) && [[ " ${groups[*]} " != *" $group "* ]]; then continue; fi
  if [[ " ${missing[*]} " == *" $word "* ]]; then continue; fi
  dpkg-query -W -f='${Status}' "$word" 2>/dev/null | grep -q "ok installed" || missing+=("$word")
done < "$here/packages.txt"
for name in "${groups[@]}"; do
  [[ " ${known[*]} " == *" $name "* ]] || { echo "setup.sh: no group \"$name\" in packages.txt (${known[*]})" >&2; exit 2; }
done
((${#missing[@]})) || exit 0
if ((EUID != 0)); then
  echo "setup.sh: these Debian packages are missing: ${missing[*]}" >&2
  echo "Installing them needs root. Run this command again with sudo, or install them with:" >&2
  echo "  sudo apt-get install ${missing[*]}" >&2
  exit 1
fi
echo "installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
