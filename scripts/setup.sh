#!/usr/bin/env bash
# Installs the Debian packages of packages.txt that are missing: those of the groups named
# (run, test, bench, package), of every group when none is named. Installing needs root; run by
# another user, it names what is missing, says how to run it as root and stops.
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
  command=$(printf '%q ' bash "$here/scripts/setup.sh" "${groups[@]}")
  echo "setup.sh: these Debian packages are missing: ${missing[*]}" >&2
  echo "Installing them needs root: run this as root (su asks for root's password), then your command again:" >&2
  echo "  su -c '${command% }'" >&2
  echo "Where sudo is set up, sudo ${command% } does the same." >&2
  exit 1
fi
export DEBIAN_FRONTEND=noninteractive LC_ALL=C
log=$(mktemp -t kestrelpad-setup.XXXXXX.log)
# apt's own output goes to the log; on failure its end is shown.
apt_get() {
  apt-get "$@" </dev/null >>"$log" 2>&1 || {
    tail -n 25 "$log" >&2
    echo "setup.sh: apt-get $1 failed; all of its output is in $log" >&2
    exit 1
  }
}
apt_get update -qq
# What the install brings, dependencies included, as apt plans it (--print-uris installs nothing).
plan=$(apt-get install --print-uris --no-install-recommends "${missing[@]}" 2>&1 </dev/null) || {
  echo "$plan" >&2
  exit 1
}
count=$(sed -n 's/^\([0-9]*\) upgraded, \([0-9]*\) newly installed.*/\1 + \2/p' <<<"$plan")
disk=$(sed -n 's/^After this operation, \(.*\)\.$/\1/p' <<<"$plan")
echo "setup.sh: installing ${missing[*]} with the packages they need, $((count)) in all; ${disk:-no more disk space is used}"
echo "setup.sh: apt's output goes to $log"
apt_get install -y -q --no-install-recommends "${missing[@]}"
