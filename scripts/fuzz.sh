#!/usr/bin/env bash
# Builds the fuzz targets with clang and runs each for SECONDS (default 60) on a scratch copy of
# its seed corpus, so that new inputs do not land in the repository.
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}
cmake --preset fuzz
targets=(chart_fuzz sound_fuzz playlist_fuzz settings_fuzz remote_fuzz movie_fuzz)
cmake --build --preset fuzz --target "${targets[@]}"
for target in "${targets[@]}"; do
  corpus=fuzz/corpus/${target%_fuzz}
  scratch=$(mktemp -d)
  cp -r "$corpus"/. "$scratch"/
  echo "fuzz: $target for ${seconds}s"
  extra=()
  # Movies: small inputs keep each run short (the decoder's work grows with the file).
  [ "$target" = movie_fuzz ] && extra=(-max_len=65536)
  build/fuzz/fuzz/$target -max_total_time="$seconds" -rss_limit_mb=2048 -timeout=10 \
    -print_final_stats=1 "${extra[@]}" "$scratch"
  rm -rf "$scratch"
done
