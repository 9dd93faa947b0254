#!/usr/bin/env bash
# Builds the Debian package and checks it where a user meets it: lintian, the desktop entry and
# the AppStream metadata; an install with apt; the hardening of both installed commands; both
# commands from their installed paths, the window under Xvfb with a document named on its command
# line (looked at over the accessibility bus, as a screen reader sees it); a purge that leaves
# none of the package's files behind.
#
# usage: bash scripts/package-check.sh
# Runs as root: it installs the tools it uses and the package itself, and purges the package again.
# It builds in build/package-check, made afresh each time: CMake takes the compiler flags from the
# environment only when it first configures a folder.
set -euo pipefail
here=$(cd "$(dirname "$0")/.." && pwd)
build=$here/build/package-check

step() { printf '\n== package check: %s\n' "$*"; }
fail() {
  echo "package check FAILED: $*" >&2
  exit 1
}
installed() { dpkg-query -W -f='${Status}' kestrelpad 2>/dev/null | grep -q "ok installed"; }

bash "$here/scripts/setup.sh" run package
export DEBIAN_FRONTEND=noninteractive
scratch=$(mktemp -d)
xvfb_pid=
cleanup() {
  [[ -n $xvfb_pid ]] && kill "$xvfb_pid" 2>/dev/null
  # A check that stopped halfway leaves no package installed.
  if installed; then apt-get purge -y -qq kestrelpad >/dev/null; fi
  rm -rf "$scratch"
}
trap cleanup EXIT
# Left installed by an earlier run that was killed: the install below must be a fresh one.
if installed; then apt-get purge -y -qq kestrelpad >/dev/null; fi

step "build"
rm -rf "$build"
# As Debian builds its own packages: optimised, hardened (dpkg-buildflags, with every hardening
# feature, immediate binding too); cpack strips.
buildflags() { (cd "$here" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"); }
CXXFLAGS="$(buildflags CPPFLAGS) $(buildflags CXXFLAGS)" LDFLAGS="$(buildflags LDFLAGS)" \
  cmake -S "$here" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_TESTS=OFF >/dev/null
cmake --build "$build" -j2
(cd "$build" && cpack -G DEB) >"$scratch/cpack.log" || { cat "$scratch/cpack.log"; fail "cpack could not make the package"; }
debs=("$build"/kestrelpad_*.deb)
deb=${debs[0]}
version=$(dpkg-deb --field "$deb" Version)
[[ ${#debs[@]} == 1 && $(basename "$deb") == "kestrelpad_${version}_amd64.deb" ]] ||
  fail "expected one kestrelpad_${version}_amd64.deb, found: ${debs[*]}"
echo "$(basename "$deb"): $(dpkg-deb --field "$deb" Depends)"

step "lintian"
lintian --fail-on error,warning --info --tag-display-limit 0 "$deb" || fail "lintian found faults in $deb"

step "desktop entry and AppStream metadata"
unpacked=$scratch/unpacked
dpkg-deb --extract "$deb" "$unpacked"
desktop-file-validate "$unpacked"/usr/share/applications/*.desktop || fail "desktop-file-validate"
appstreamcli validate --no-net "$unpacked"/usr/share/metainfo/*.metainfo.xml || fail "appstreamcli validate"

step "install"
# What exists before the install is not the package's to remove.
dpkg-deb --fsys-tarfile "$deb" | tar -t | sed 's|^\./|/|; s|/$||' | grep -v '^/\?$' >"$scratch/contents"
while read -r path; do [[ -e $path ]] || echo "$path"; done <"$scratch/contents" >"$scratch/new-paths"
apt-get install -y -qq "$deb" >"$scratch/apt.log" || { cat "$scratch/apt.log"; fail "apt-get install $deb"; }
installed || fail "kestrelpad is not installed after apt-get install"

step "hardening of the installed commands"
# Control flow protection is not among the flags Debian 12 builds with, so it is not asked for.
hardening-check --nocfprotection /usr/bin/kestrelpad /usr/bin/kestrelpad-cli ||
  fail "hardening-check found a protection missing from the installed commands"

step "the installed commands"
for program in kestrelpad kestrelpad-cli; do
  [[ $(command -v "$program") == /usr/bin/$program ]] || fail "$program is not found as /usr/bin/$program"
  got=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$program" --version)
  [[ $got == "$program $version" ]] || fail "$program --version printed \"$got\", not \"$program $version\""
  man -w "$program" >/dev/null || fail "no manual page for $program"
done
[[ -f /usr/share/kestrelpad/Help.html ]] || fail "the help page is not in /usr/share/kestrelpad"
if said=$(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM kestrelpad 2>&1); then
  fail "kestrelpad started without a display"
fi
grep -q "xvfb-run kestrelpad" <<<"$said" || fail "without a display kestrelpad said: $said"
# A copy: not even a read may touch the checked-in documents.
doc=$scratch/lo-ja-full.docx
cp "$here/tests/data/lo-ja-full.docx" "$doc"
kestrelpad-cli show "$doc" >"$scratch/show.csv" || fail "kestrelpad-cli show $doc failed"
"$build/cli/kestrelpad-cli" show "$doc" >"$scratch/built-show.csv"
[[ $(wc -l <"$scratch/show.csv") == 2 ]] && grep -q "^\"$doc\",\"lo-ja-full.docx\",\"[^\"]" "$scratch/show.csv" ||
  fail "kestrelpad-cli show printed: $(cat "$scratch/show.csv")"
cmp -s "$scratch/show.csv" "$scratch/built-show.csv" || fail "the installed kestrelpad-cli shows other values than the built one"
sed -n 2p "$scratch/show.csv"

step "the installed window lists a document named on its command line"
# Our own display, found free by the server itself (two xvfb-run -a can race for one).
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 100); do [[ -s $scratch/display ]] && break; sleep 0.1; done
[[ -s $scratch/display ]] || fail "Xvfb did not start: $(cat "$scratch/xvfb.log")"
mkdir -m 700 "$scratch/runtime" "$scratch/config"
DISPLAY=:$(cat "$scratch/display") XDG_RUNTIME_DIR=$scratch/runtime XDG_CONFIG_HOME=$scratch/config \
  timeout 180 dbus-run-session -- /usr/bin/python3 "$here/packaging/window_lists_file.py" /usr/bin/kestrelpad "$doc" 60 \
  2>"$scratch/window.log" || { cat "$scratch/window.log"; fail "the installed window did not list $doc"; }
kill "$xvfb_pid" && wait "$xvfb_pid" 2>/dev/null || true
xvfb_pid=

step "purge"
apt-get purge -y -qq kestrelpad >/dev/null || fail "apt-get purge kestrelpad"
! installed || fail "kestrelpad is still installed after apt-get purge"
# A folder the package brought may stay when another package's trigger left a file of its own in
# it (a cache of the desktop entries, say); the package's files and empty folders may not.
left=$(while read -r path; do
  if [[ -d $path && ! -L $path ]]; then [[ -z $(ls -A "$path") ]] && echo "$path"; elif [[ -e $path || -L $path ]]; then echo "$path"; fi
done <"$scratch/new-paths" || true)
[[ -z $left ]] || fail "the purge left: $left"
echo "gone: the $(wc -l <"$scratch/new-paths") files and folders the package brought"

step "passed: $(basename "$deb")"
