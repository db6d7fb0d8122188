#!/usr/bin/env bash
# Installs what is missing, builds Quillon and opens the bundled demo chart.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
exec build/release/quillon --dump resources/demo/demo.bms
