#!/usr/bin/env bash
# Installs a built tree into a scratch prefix and checks it the way a desktop would read it: the
# desktop entry and the store listing pass their validators, the file types compile into a MIME
# database that maps *.bms (and the siblings, and *.bpl) to Quillon's types, and the man page
# renders. Then builds the .deb and unpacks it into a scratch root to check that every file lands
# where the desktop looks for it and that the Depends line came from dpkg-shlibdeps.
#
# Usage: scripts/check-install.sh [BUILD_DIR]   (build/ci unless given; it must be built)
set -euo pipefail
cd "$(dirname "$0")/.."

build=${1:-build/ci}
[ -x "$build/quillon" ] || { echo "check-install: no program in $build; build it first" >&2; exit 1; }
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "check-install: $*" >&2; exit 1; }

# The files every install must hold, relative to the prefix.
expected=(
  bin/quillon
  share/applications/quillon.desktop
  share/mime/packages/quillon.xml
  share/metainfo/io.github.quillon.Quillon.metainfo.xml
  share/icons/hicolor/scalable/apps/quillon.svg
  share/man/man1/quillon.1.gz
)
for size in 16 22 24 32 48 64 128 256; do
  expected+=("share/icons/hicolor/${size}x${size}/apps/quillon.png")
done
check_tree() {  # ROOT: every expected file is under ROOT
  for file in "${expected[@]}"; do
    [ -s "$1/$file" ] || fail "missing $file under $1"
  done
}

echo "-- install into a scratch prefix"
prefix="$scratch/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null
check_tree "$prefix"
"$prefix/bin/quillon" --version | grep -q '^quillon ' || fail "the installed program does not run"

echo "-- desktop entry"
desktop-file-validate "$prefix/share/applications/quillon.desktop"

echo "-- store listing"
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$prefix/share/metainfo/io.github.quillon.Quillon.metainfo.xml"
else
  echo "appstreamcli not installed: listing not validated"
fi

echo "-- file types"
XDG_DATA_DIRS="$prefix/share:/usr/share" update-mime-database "$prefix/share/mime"
for pair in bms:text/x-bms bme:text/x-bme bml:text/x-bml pms:text/x-pms \
  bpl:application/x-bms-playlist; do
  grep -qx "[0-9]*:${pair#*:}:\*\.${pair%%:*}" "$prefix/share/mime/globs2" ||
    fail "*.${pair%%:*} does not map to ${pair#*:}"
done
grep -qx "text/x-bms text/plain" "$prefix/share/mime/subclasses" ||
  fail "text/x-bms is not a kind of text/plain"
grep -q "text/x-bms" "$prefix/share/mime/magic" || fail "no content rule for text/x-bms"
# As a file manager sees them (GIO reads the database built above): by name, and by content for
# charts without their extension, with or without a comment block before the header.
if command -v gio >/dev/null; then
  samples="$scratch/samples"
  mkdir -p "$samples"
  printf '#PLAYER 1\r\n#TITLE Song\r\n' >"$samples/song.bms"
  printf '#TITLE Song\r\n#WAV01 a.wav\r\n' >"$samples/chart"
  printf '\r\n*---- HEADER FIELD\r\n\r\n#PLAYER 1\r\n' >"$samples/commented"
  printf 'Genre\tTitle\tArtist\t--:--\t/bms/song.bms\r\n' >"$samples/list.bpl"
  echo "plain words" >"$samples/notes"
  for pair in song.bms:text/x-bms chart:text/x-bms commented:text/x-bms \
    list.bpl:application/x-bms-playlist notes:text/plain; do
    type=$(XDG_DATA_HOME="$scratch/nothing" XDG_DATA_DIRS="$prefix/share:/usr/share" \
      gio info -a standard::content-type "$samples/${pair%%:*}" | sed -n 's/.*content-type: //p')
    [ "$type" = "${pair#*:}" ] || fail "${pair%%:*} is taken for $type, not ${pair#*:}"
  done
else
  echo "gio not installed: files not typed by content"
fi

echo "-- manual page"
warnings=$(zcat "$prefix/share/man/man1/quillon.1.gz" | LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z 2>&1)
[ -z "$warnings" ] || fail "the manual page does not render cleanly: $warnings"

echo "-- Debian package"
(cd "$build" && cpack -G DEB -B "$scratch/deb" >/dev/null)
version=$(sed -n 's/^project(Quillon VERSION \([0-9.]*\).*/\1/p' CMakeLists.txt)
deb="$scratch/deb/quillon_${version}_$(dpkg --print-architecture).deb"
[ -f "$deb" ] || fail "cpack made no $(basename "$deb")"
depends=$(dpkg-deb -f "$deb" Depends)
for library in libc6 libqt6core6 libqt6widgets6 libqt6sql6-sqlite libavcodec59; do
  grep -q "$library" <<<"$depends" || fail "Depends lacks $library: $depends"
done
root="$scratch/root"
dpkg -x "$deb" "$root"
expected=("${expected[@]/#/usr/}")
check_tree "$root"
unexpected=$(dpkg-deb -c "$deb" | awk '{print $6}' | grep -v -e '^\./$' -e '^\./usr/$' -e '^\./usr/\(bin\|share\)/' || true)
[ -z "$unexpected" ] || fail "files outside /usr/bin and /usr/share: $unexpected"
echo "check-install: $(basename "$deb") ($(du -k "$deb" | cut -f1) KiB), Depends: $depends"
