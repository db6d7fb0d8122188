#!/usr/bin/env bash
# Installs what is missing, builds Quillon and plays the bundled demo chart in its window.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release
cmake --build --preset release
exec build/release/quillon "$PWD/resources/demo/demo.bms"
