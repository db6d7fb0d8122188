#!/usr/bin/env bash
# Compares Quillon's notes (`--dump --notes`, every #RANDOM and #SWITCH taking branch 1) with a
# second, independent reading: bms-js, the npm package `bms`, installed outside the repository.
#   scripts/peer-check.sh [--install-node] [FOLDER]   (default tests/data/peer)
# For every FOLDER/*.bms both readings must agree on count, lane, id, time and long-note end
# within 1 ms, except for the differences FOLDER/expected-differences.txt lists: there exactly those
# must show (a listed one that disappears fails as well as a new one).
# Environment: QUILLON (the program; else build/ci, build/dev or build/release), QUILLON_PEER_DIR
# (where bms-js is installed; ${XDG_CACHE_HOME:-~/.cache}/quillon-peer unless given).
# Exit status: 0 all as expected, 1 an unexpected difference, 2 an error, 77 skipped because node,
# npm or the package cannot be had (--install-node first installs Debian's nodejs and npm when
# node or npm is missing).
set -euo pipefail
cd "$(dirname "$0")/.."

bms_version=51.0.0
install_node=0
if [ "${1:-}" = --install-node ]; then
  install_node=1
  shift
fi
folder=${1:-tests/data/peer}

skip() {
  echo "peer check skipped: $*"
  exit 77
}

if [ "$install_node" = 1 ] && ! { command -v node && command -v npm; } >/dev/null; then
  sudo=()
  [ "$(id -u)" -eq 0 ] || sudo=(sudo)
  echo "peer-check: installing nodejs and npm"
  { "${sudo[@]}" apt-get update -qq &&
    DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y -qq --no-install-recommends \
      nodejs npm; } || skip "nodejs and npm could not be installed"
fi
command -v node >/dev/null || skip "node is not installed"

export QUILLON_PEER_DIR=${QUILLON_PEER_DIR:-${XDG_CACHE_HOME:-$HOME/.cache}/quillon-peer}
installed=$(node -p "require('$QUILLON_PEER_DIR/node_modules/bms/package.json').version" \
  2>/dev/null || true)
if [ "$installed" != "$bms_version" ]; then
  command -v npm >/dev/null || skip "npm is not installed"
  mkdir -p "$QUILLON_PEER_DIR"
  [ -f "$QUILLON_PEER_DIR/package.json" ] || echo '{"private": true}' >"$QUILLON_PEER_DIR/package.json"
  echo "peer-check: installing bms@$bms_version into $QUILLON_PEER_DIR"
  timeout 300 npm install --prefix "$QUILLON_PEER_DIR" --no-audit --no-fund --fetch-retries=1 \
    "bms@$bms_version" >/dev/null || skip "npm could not install bms@$bms_version"
fi

quillon=${QUILLON:-}
if [ -z "$quillon" ]; then
  for dir in build/ci build/dev build/release; do
    if [ -x "$dir/quillon" ]; then
      quillon=$dir/quillon
      break
    fi
  done
fi
if [ -z "$quillon" ] || [ ! -x "$quillon" ]; then
  echo "peer-check: no quillon program; build it or set QUILLON" >&2
  exit 2
fi

expected_file=$folder/expected-differences.txt
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

if ! node --test tests/peer/compare.test.mjs >"$work/selftest" 2>&1; then
  cat "$work/selftest"
  echo "peer-check: the comparison fails its own tests" >&2
  exit 2
fi

# The listed differences of one chart, as "KIND LANE ID" lines, sorted.
expected_for() {
  [ -f "$expected_file" ] || return 0
  awk -v chart="$1" '$1 == chart { print $2, $3, toupper($4) }' "$expected_file" | sort
}

agreed=0
as_listed=0
failed=0
shopt -s nullglob
charts=("$folder"/*.bms)
[ ${#charts[@]} -gt 0 ] || { echo "peer-check: no charts in $folder" >&2; exit 2; }
for chart in "${charts[@]}"; do
  name=$(basename "$chart")
  blocks=$(grep -ciE '^[[:space:]]*#(random|switch)[[:space:]]' "$chart" || true)
  choose=$(printf '1,%.0s' $(seq 1 $((blocks + 1))))
  if ! "$quillon" --dump --notes --choose "${choose%,}" "$chart" >"$work/ours.json" 2>"$work/err" ||
    ! node scripts/peer-notes.mjs notes "$chart" >"$work/peer.json" 2>>"$work/err" ||
    ! node scripts/peer-notes.mjs compare "$work/ours.json" "$work/peer.json" \
      >"$work/found" 2>>"$work/err"; then
    echo "FAIL $name: could not be read"
    sed 's/^/    /' "$work/err"
    failed=$((failed + 1))
    continue
  fi
  cut -d' ' -f1-3 "$work/found" | sort >"$work/found.keys"
  expected_for "$name" >"$work/expected.keys"
  notes=$(node -p "JSON.parse(require('fs').readFileSync('$work/ours.json', 'utf8')).notes.length")
  if cmp -s "$work/found.keys" "$work/expected.keys"; then
    listed=$(wc -l <"$work/expected.keys")
    if [ "$listed" -eq 0 ]; then
      echo "ok   $name: $notes notes agree"
      agreed=$((agreed + 1))
    else
      echo "ok   $name: $notes notes, differ as listed in $listed"
      as_listed=$((as_listed + 1))
    fi
    continue
  fi
  echo "FAIL $name: $notes notes"
  # Each difference found, marked "listed" while the list still holds one of its kind, then what
  # the list holds and was not found.
  awk 'FILENAME == ARGV[1] { want[$0]++; next }
       { key = $1 " " $2 " " $3; mark = want[key]-- > 0 ? "listed" : "new   "
         printf "    %s %s on lane %s, id %s: ours %s, bms-js %s\n", mark, $1, $2, $3, ms($4), ms($5) }
       function ms(t) { return t == "null" ? "none" : t " ms" }
       END { for (key in want) for (; want[key] > 0; want[key]--) {
               split(key, f, " ")
               printf "    gone   %s on lane %s, id %s: listed but not found\n", f[1], f[2], f[3] } }' \
    "$work/expected.keys" "$work/found"
  failed=$((failed + 1))
done

if [ -f "$expected_file" ]; then
  for listed in $(awk '!/^#/ && NF { print $1 }' "$expected_file" | sort -u); do
    [ -f "$folder/$listed" ] || {
      echo "FAIL $listed: listed in expected-differences.txt but no such chart"
      failed=$((failed + 1))
    }
  done
fi

echo "peer check: ${#charts[@]} charts, $agreed agree, $as_listed differ only as listed"
echo "peer: $((agreed + as_listed)) passed, $failed failed"
[ "$failed" -eq 0 ] || exit 1
