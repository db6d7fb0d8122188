#!/usr/bin/env bash
# A movie BGA in the real player's window: the demo chart's layer movie (gems circling a gold
# square over the base pictures) must show on the display while the chart plays. None of the
# demo's still pictures has the square's gold, so gold pixels in the window are the movie's.
# The window is read with xwd and its pixels counted by a few lines of Python.
#
# Usage: movie_e2e.sh QUILLON_BINARY SOURCE_DIR
# Exit status: 0 passed, 1 failed, 2 bad arguments, 77 skipped (no Xvfb, xdotool, xwd or Python).
# The helpers, and how they wait, are in e2e_lib.sh.
set -euo pipefail
# shellcheck source=SCRIPTDIR/e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"

e2e_begin "$@"
for tool in xwd python3; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "e2e: skipped: $tool is not installed"
    exit 77
  fi
done
start_x_server
make_private_home
cp -r "$demo_dir" "$work/chart"

# gold_pixels: how many pixels of the main window are near the square's gold (255, 210, 90).
gold_pixels() {
  xwd -silent -display "$DISPLAY" -id "$window" >"$work/window.xwd" 2>/dev/null || {
    echo 0
    return
  }
  python3 - "$work/window.xwd" <<'PY'
import struct, sys
data = open(sys.argv[1], "rb").read()
head = struct.unpack(">25I", data[:100])
size, width, height = head[0], head[4], head[5]
order, bpp, stride, colours = head[7], head[11], head[12], head[19]
if bpp != 32:
    print(0)
    sys.exit()
pixels = data[size + 12 * colours:]
endian = "<" if order == 0 else ">"
count = 0
for y in range(height):
    row = pixels[y * stride:y * stride + width * 4]
    for (p,) in struct.iter_unpack(endian + "I", row):
        r, g, b = (p >> 16) & 255, (p >> 8) & 255, p & 255
        if r > 220 and 180 < g < 240 and 50 < b < 130:
            count += 1
print(count)
PY
}
square_shown() { (($(gold_pixels) >= 100)); }

step="start"
start_player run "$work/chart/demo.bms"
find_main_window
log "window $window is up ($(elapsed))"

step="movie on the display"
wait_until 60 square_shown || fail "no frame of the layer movie showed in the window within 60 s"
log "the layer movie shows ($(gold_pixels) gold pixels, $(elapsed))"
shot movie

step="quit"
quit_player run
log "quit, exit status 0 ($(elapsed))"
