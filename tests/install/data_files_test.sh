#!/usr/bin/env bash
# The files installed beside the program agree with it and with each other: the manual page names
# every option the program's --help lists; the desktop entry, the MIME package and the store
# listing name the same file types; each hicolor PNG is as large as the folder it installs into
# says; and the validators pass where they are installed.
#
# Usage: data_files_test.sh QUILLON_BINARY SOURCE_DIR
set -euo pipefail
[ $# -eq 2 ] || { echo "usage: $0 QUILLON_BINARY SOURCE_DIR" >&2; exit 2; }
quillon=$1
data=$2/data
man_page=$2/docs/quillon.1
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Options: "  -P", "  -h, --help", "  --render-audio <OUT.wav>" in the help text.
options=$("$quillon" --help | grep -oE '^ +-[^ ]+(, --[^ ]+)?' | tr ',' '\n' | tr -d ' ')
[ "$(wc -l <<<"$options")" -ge 10 ] || fail "too few options read from --help: $options"
for option in $options; do
  # roff writes a hyphen as \- ; an option stands as a word of its own (-N must not match -NA).
  escaped=${option//-/\\-}
  grep -qE "(^|[ \"])$(sed 's/\\/\\\\/g' <<<"$escaped")([ ,\"]|$)" "$man_page" ||
    fail "the manual page does not name $option"
done

# The same file types in the three places that list them.
desktop_types=$(sed -n 's/^MimeType=//p' "$data/quillon.desktop" | tr ';' '\n' | sed '/^$/d' | sort)
mime_types=$(grep -oE '<mime-type type="[^"]+"' "$data/mime/quillon.xml" | cut -d'"' -f2 | sort)
listing_types=$(grep -oE '<mediatype>[^<]+' "$data/io.github.quillon.Quillon.metainfo.xml" |
  cut -d'>' -f2 | sort)
[ -n "$desktop_types" ] || fail "the desktop entry lists no file types"
[ "$desktop_types" = "$mime_types" ] ||
  fail "desktop entry and MIME package differ: $(diff <(echo "$desktop_types") <(echo "$mime_types") || true)"
[ "$desktop_types" = "$listing_types" ] ||
  fail "desktop entry and store listing differ: $(diff <(echo "$desktop_types") <(echo "$listing_types") || true)"

# PNG: width and height are the big-endian words at bytes 16 and 20 of the IHDR chunk.
png_count=0
for png in "$data"/icons/hicolor/*/quillon.png; do
  folder=$(basename "$(dirname "$png")")
  read -r width height < <(od -An -tu1 -j16 -N8 "$png" |
    awk '{print $1*16777216+$2*65536+$3*256+$4, $5*16777216+$6*65536+$7*256+$8}')
  [ "${width}x${height}" = "$folder" ] || fail "$png is ${width}x${height}"
  png_count=$((png_count + 1))
done
[ "$png_count" -eq 8 ] || fail "expected 8 hicolor sizes, found $png_count"

if command -v desktop-file-validate >/dev/null; then
  desktop-file-validate "$data/quillon.desktop" || fail "desktop-file-validate"
fi
if command -v appstreamcli >/dev/null; then
  appstreamcli validate --no-net "$data/io.github.quillon.Quillon.metainfo.xml" >/dev/null ||
    fail "appstreamcli validate"
fi
if command -v groff >/dev/null; then
  warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$man_page" 2>&1)
  [ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"
fi

[ "$failures" -eq 0 ] && echo "data files: all checks passed"
exit $((failures > 0))
