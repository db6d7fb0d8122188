#!/usr/bin/env bash
# Rewrites the expected dumps of tests/data/charts (the classic reading) and the expected note
# lists of tests/data/peer (the extended reading) with the current build's output.
# Read the diff before committing it: every change must be one you meant.
#   scripts/update-dumps.sh [BUILD_DIR]   (default build/dev)
set -euo pipefail
cd "$(dirname "$0")/.."
quillon=${1:-build/dev}/quillon
for json in tests/data/charts/*.json; do
  name=$(basename "$json" .json)
  case "$name" in
    *.choose-*) chart=${name%%.choose-*}; args=(--choose "${name##*.choose-}") ;;
    *) chart=$name; args=(--seed 1) ;;
  esac
  "$quillon" --dump --classic "${args[@]}" "tests/data/charts/$chart.bms" | python3 -c '
import json, sys
d = json.load(sys.stdin)
d["header"]["FilePath"] = sys.argv[1]
objects = d.pop("objects")
text = json.dumps(d, indent=1, ensure_ascii=False)[:-2]
rows = ",\n  ".join(json.dumps(o) for o in objects)
print(text + ",\n \"objects\": [\n  " + rows + "\n ]\n}")' "tests/data/charts/$chart.bms" > "$json"
done
ones=$(printf '1,%.0s' $(seq 16))
for chart in tests/data/peer/*.bms; do
  "$quillon" --dump --notes --seed 1 --choose "${ones%,}" "$chart" |
    python3 -c 'import sys; t = sys.stdin.read().strip(); print(t[t.index("\"notes\":") + 8:-1])' \
      > "${chart%.bms}.notes.json"
done
