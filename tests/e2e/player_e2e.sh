#!/usr/bin/env bash
# The real player under its own X server: opens the demo chart, checks the scrolling caption and
# the sound SDL's disk driver writes, pauses, resumes, stops and restarts play from the keyboard,
# moves the window, quits through the File menu, and checks that the settings and the default
# playlist were written and that the next start puts the window back where it was left.
#
# Usage: player_e2e.sh QUILLON_BINARY SOURCE_DIR
# Exit status: 0 passed, 1 failed, 2 bad arguments, 77 skipped (no Xvfb or xdotool).
# QUILLON_E2E_SHOTS=DIR saves a screenshot of each phase there (needs ImageMagick's import).
#
# Every wait polls with an upper bound and never asserts how long something took, so a slow
# machine or a sanitizer build only makes the run longer. The audio checks count time in samples
# written, not in wall-clock time.
set -euo pipefail
export LC_ALL=C.UTF-8

if [[ $# -ne 2 ]]; then
  echo "usage: $0 QUILLON_BINARY SOURCE_DIR" >&2
  exit 2
fi
quillon_bin=$(realpath "$1")
source_dir=$(realpath "$2")
demo_dir="$source_dir/resources/demo"
[[ -x $quillon_bin ]] || { echo "e2e: FAIL (arguments): no program at $1" >&2; exit 2; }
[[ -f $demo_dir/demo.bms ]] || { echo "e2e: FAIL (arguments): no demo chart in $2" >&2; exit 2; }

for tool in Xvfb xdotool; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    echo "e2e: skipped: $tool is not installed"
    exit 77
  fi
done

# SDL's disk driver writes what the program asks for: signed 16-bit samples in the machine's
# byte order, two channels, at 44100 Hz (the disk driver takes any rate).
readonly bytes_per_second=$((44100 * 2 * 2))
# Loudest sample still counted as silence, and quietest one counted as sound.
readonly silence_level=16
readonly sound_level=512
# The demo is never silent for more than 0.35 s while it plays (its last sound ends about 26 s
# in), so 0.75 s of silence means play is paused or stopped.
readonly silent_stretch=$((bytes_per_second * 3 / 4))
readonly check_stretch=$bytes_per_second
readonly silence_deadline=$((bytes_per_second * 8))

work=$(mktemp -d "${TMPDIR:-/tmp}/quillon-e2e.XXXXXX")
xvfb_pid=""
player_pid=""
step="set-up"

cleanup() {
  local pid
  for pid in $player_pid $xvfb_pid; do
    if alive "$pid"; then
      kill -TERM "$pid" 2>/dev/null || true
      for _ in $(seq 50); do
        alive "$pid" || break
        sleep 0.1
      done
      kill -KILL "$pid" 2>/dev/null || true
    fi
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap cleanup EXIT
trap 'exit 1' INT TERM HUP

log() { echo "e2e: $*"; }

fail() {
  echo "e2e: FAIL ($step): $*" >&2
  local f
  for f in "$work"/run*.log; do
    [[ -s $f ]] || continue
    echo "e2e: --- last lines of $(basename "$f") ---" >&2
    tail -n 30 "$f" >&2
  done
  exit 1
}

now_ms() { date +%s%3N; }
start_ms=$(now_ms)
elapsed() {
  local ms=$(($(now_ms) - start_ms))
  printf '%d.%d s' $((ms / 1000)) $((ms % 1000 / 100))
}

# True while the process runs (a zombie has ended, it only waits to be reaped).
alive() {
  local state
  state=$(ps -o stat= -p "$1" 2>/dev/null) || return 1
  [[ $state != Z* ]]
}

# wait_until SECONDS COMMAND...: polls COMMAND until it succeeds; false when time runs out.
wait_until() {
  local deadline=$(($(now_ms) + $1 * 1000))
  shift
  until "$@"; do
    (($(now_ms) < deadline)) || return 1
    sleep 0.1
  done
}

# Screenshot of the whole screen for QUILLON_E2E_SHOTS, when ImageMagick is there.
shot_number=0
shot() {
  [[ -n ${QUILLON_E2E_SHOTS:-} ]] || return 0
  command -v import >/dev/null 2>&1 || return 0
  mkdir -p "$QUILLON_E2E_SHOTS"
  shot_number=$((shot_number + 1))
  import -display "$DISPLAY" -window root \
    "$QUILLON_E2E_SHOTS/$(printf '%02d' "$shot_number")-$1.png" 2>/dev/null || true
}

xdo() { xdotool "$@" 2>>"$work/xdotool.log"; }

# ---------------------------------------------------------------------------------------------
# A private X server and a private home, so nothing of the user's is read or written.

step="X server"
# Xvfb picks a free display itself and writes its number once it accepts connections.
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
xvfb_pid=$!
display_ready() { [[ -s $work/display ]] || ! alive "$xvfb_pid"; }
wait_until 30 display_ready || fail "Xvfb did not start within 30 s"
alive "$xvfb_pid" || fail "Xvfb ended: $(tail -n 5 "$work/xvfb.log")"
display_number=$(head -n 1 "$work/display")
[[ $display_number =~ ^[0-9]+$ ]] || fail "Xvfb gave no display number"
export DISPLAY=":$display_number"
log "X server on $DISPLAY ($(elapsed))"

mkdir -p "$work/home" "$work/config" "$work/data" "$work/tmp" "$work/runtime"
chmod 700 "$work/runtime"
cp -r "$demo_dir" "$work/chart"
chart="$work/chart/demo.bms"
settings_file="$work/config/Quillon/Quillon.ini"
playlist_file="$work/data/Quillon/quillon.bpl"

# The program sees only this environment (sanitizer options pass through). Its D-Bus session
# address leads nowhere: the user's session bus stays untouched, and libdbus does not try to
# start a bus of its own (that attempt leaks inside libdbus, which LeakSanitizer reports).
player_env=(
  env -i
  "PATH=$PATH"
  "HOME=$work/home"
  "XDG_CONFIG_HOME=$work/config"
  "XDG_DATA_HOME=$work/data"
  "XDG_RUNTIME_DIR=$work/runtime"
  "TMPDIR=$work/tmp"
  "DISPLAY=$DISPLAY"
  "QT_QPA_PLATFORM=xcb"
  "LC_ALL=C.UTF-8"
  "LANGUAGE=en"
  "SDL_AUDIODRIVER=disk"
  "DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus"
)
for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
  if [[ -n ${!name:-} ]]; then player_env+=("$name=${!name}"); fi
done

# start_player RUN_NAME [CHART]: starts the program writing its sound to RUN_NAME.raw.
start_player() {
  local name=$1
  shift
  "${player_env[@]}" "SDL_DISKAUDIOFILE=$work/$name.raw" "$quillon_bin" "$@" \
    >"$work/$name.log" 2>&1 &
  player_pid=$!
}

# Sets `window` to the program's one visible window, waiting for it to appear.
one_visible_window() {
  alive "$player_pid" || return 0
  local found
  found=$(xdo search --onlyvisible --pid "$player_pid" || true)
  [[ $(wc -w <<<"$found") -eq 1 ]] || return 1
  window=$found
}
find_main_window() {
  window=""
  wait_until 60 one_visible_window || fail "no window appeared within 60 s"
  alive "$player_pid" || fail "the program ended before showing its window"
  [[ -n $window ]] || fail "no window appeared"
}

caption() { xdo getwindowname "$window" || true; }

# geometry_value NAME: X, Y, WIDTH or HEIGHT of the main window.
geometry_value() {
  xdo getwindowgeometry --shell "$window" | sed -n "s/^$1=//p"
}

# Quits through the keyboard: Alt+F opens the File menu, Q runs "Quit(&Q)". The menu only opens
# on real key events, so the keys go through XTEST to the focused window.
menu_opened() { [[ $(xdo search --onlyvisible --pid "$player_pid" | wc -l) -ge 2 ]]; }
quit_player() {
  xdo windowfocus --sync "$window" || fail "cannot focus the main window"
  xdo key --clearmodifiers alt+f
  wait_until 20 menu_opened || fail "Alt+F did not open the File menu"
  shot "$1-file-menu"
  xdo key --clearmodifiers q
  player_ended() { ! alive "$player_pid"; }
  wait_until 10 player_ended || fail "the program was still running 10 s after File > Quit"
  local status=0
  wait "$player_pid" || status=$?
  player_pid=""
  [[ $status -eq 0 ]] || fail "the program exited with status $status"
}

# Presses keys on the main window, the way quit_player does (a key sent to the window with
# XSendEvent would do for Space, but not for Alt+F).
press() {
  xdo windowfocus --sync "$window" || fail "cannot focus the main window"
  xdo key --clearmodifiers "$@"
}

# ---------------------------------------------------------------------------------------------
# Sound written by the disk driver.

audio_file=""
# Bytes written so far, whole frames only.
audio_size() {
  local size
  size=$(stat -c %s "$audio_file" 2>/dev/null || echo 0)
  echo $((size / 4 * 4))
}
# peak OFFSET LENGTH: the loudest sample (absolute value) in that part of the file.
peak() {
  od -An -v -t d2 -j "$1" -N "$2" "$audio_file" |
    awk '{ for (i = 1; i <= NF; i++) { v = $i < 0 ? -$i : $i; if (v > m) m = v } }
         END { print m + 0 }'
}

# Waits until the next LENGTH bytes are written; sets `level` to their peak.
next_peak() {
  local offset length=$1
  offset=$(audio_size)
  grown() { (($(audio_size) >= offset + length)); }
  wait_until 30 grown || fail "the sound output stopped growing"
  level=$(peak "$offset" "$length")
}

# Waits until sound (a sample above sound_level) is written after the current end of the file.
sound_after_mark() {
  local size
  size=$(audio_size)
  ((size > mark)) || return 1
  (($(peak "$mark" $((size - mark))) > sound_level)) && return 0
  mark=$size
  return 1
}
expect_sound() {
  mark=$(audio_size)
  wait_until 30 sound_after_mark || fail "no sound was written within 30 s ($1)"
  # And it goes on: the next second holds sound as well.
  next_peak "$check_stretch"
  ((level > sound_level)) || fail "the sound stopped again right after it started ($1)"
}

# Waits until the newest silent_stretch bytes are silent, then checks the next second stays so.
# The silence must come within silence_deadline of sound after the key: later, the chart could
# have reached its silent end on its own.
silence_found=0
silence_at_end() {
  local size
  size=$(audio_size)
  ((size - mark >= silent_stretch)) || return 1
  if (($(peak $((size - silent_stretch)) "$silent_stretch") <= silence_level)); then
    silence_found=1
    return 0
  fi
  ((size - mark > silence_deadline))
}
expect_silence() {
  mark=$(audio_size)
  silence_found=0
  wait_until 60 silence_at_end || fail "the sound output stopped growing ($1)"
  ((silence_found)) ||
    fail "still sound $((silence_deadline / bytes_per_second)) s of output after the key ($1)"
  next_peak "$check_stretch"
  ((level <= silence_level)) || fail "sound came back without a key (peak $level, $1)"
}

# ---------------------------------------------------------------------------------------------
# First run: the demo chart given on the command line.

step="first start"
audio_file="$work/run1.raw"
start_player run1 "$chart"
find_main_window
log "window $window is up ($(elapsed))"

step="caption"
# "[Quillon] " and then the title text turned round, one character per step.
title_text="(Demo) Quillon Demo / Quillon   "
caption_scrolls() {
  local now
  now=$(caption)
  [[ $now == "[Quillon] "* ]] || return 1
  if [[ -z $first_caption ]]; then
    first_caption=$now
    return 1
  fi
  [[ $now != "$first_caption" ]]
}
first_caption=""
wait_until 60 caption_scrolls ||
  fail "the caption did not read \"[Quillon] ...\" and change; it reads \"$(caption)\""
second_caption=$(caption)
for c in "$first_caption" "$second_caption"; do
  rest=${c#"[Quillon] "}
  if [[ ${#rest} -lt ${#title_text} || $title_text$title_text != *"$rest"* ]]; then
    fail "caption \"$c\" is not the title text turned round"
  fi
done
log "caption scrolls: \"$first_caption\" -> \"$second_caption\" ($(elapsed))"

step="sound while playing"
expect_sound "play from the command line"
log "sound is written ($(($(audio_size) / bytes_per_second)) s so far, $(elapsed))"
shot playing

step="pause with Space"
press space
expect_silence "paused"
log "paused: silence ($(elapsed))"
shot paused

step="resume with Space"
press space
expect_sound "resumed"
log "resumed: sound again ($(elapsed))"
shot resumed

step="stop with Period"
press period
expect_silence "stopped"
log "stopped: silence ($(elapsed))"
shot stopped

step="play with Space when stopped"
press space
expect_sound "played again"
log "playing again ($(elapsed))"

step="move"
xdo windowmove --sync "$window" 123 77 || fail "xdotool could not move the window"
width=$(geometry_value WIDTH)
height=$(geometry_value HEIGHT)
[[ $width =~ ^[0-9]+$ && $height =~ ^[0-9]+$ ]] || fail "xdotool gave no window size"
log "window moved to 123,77, size ${width}x$height ($(elapsed))"
shot moved

step="quit while playing"
quit_player run1
log "quit through File > Quit, exit status 0 ($(elapsed))"

# ---------------------------------------------------------------------------------------------
# What the first run left behind.

# ini_value SECTION KEY: the value in the settings file, unquoted (keys case-insensitive).
ini_value() {
  awk -v section="[$1]" -v key="$2" '
    /^\[/ { in_section = (tolower($0) == tolower(section)); next }
    in_section {
      eq = index($0, "=")
      if (eq > 0 && tolower(substr($0, 1, eq - 1)) == tolower(key)) {
        value = substr($0, eq + 1)
        gsub(/^[ \t"]+|[ \t"\r]+$/, "", value)
        print value
        exit
      }
    }' "$settings_file"
}
# expect_place LEFT TOP WIDTH HEIGHT: the WindowPos values, in twips (15 per pixel), in any of
# the forms a number takes in the file ("1845", "1845.0", ...).
expect_place() {
  local key value want
  for key in MainLeft MainTop MainWidth MainHeight; do
    want=$(($1 * 15))
    shift
    value=$(ini_value WindowPos "$key")
    [[ $value =~ ^-?[0-9]+(\.[0-9]*)?$ ]] || fail "WindowPos/$key is \"$value\", not a number"
    awk -v v="$value" -v want="$want" 'BEGIN { exit !(v + 0 == want + 0) }' ||
      fail "WindowPos/$key is $value, expected $want"
  done
}

step="settings"
[[ -f $settings_file ]] || fail "no settings file at XDG_CONFIG_HOME/Quillon/Quillon.ini"
expect_place 123 77 "$width" "$height"
for item in 0 1 2 3; do
  value=$(ini_value View "Item$item")
  [[ $value == True || $value == False ]] || fail "View/Item$item is \"$value\", not True or False"
done
log "settings: MainLeft $(ini_value WindowPos MainLeft), MainTop $(ini_value WindowPos MainTop)," \
  "MainWidth $(ini_value WindowPos MainWidth), MainHeight $(ini_value WindowPos MainHeight)"

step="default playlist"
[[ -f $playlist_file ]] || fail "no default playlist at XDG_DATA_HOME/Quillon/quillon.bpl"
grep -qF "$chart" "$playlist_file" || fail "the default playlist does not name $chart"
log "default playlist names the chart"

# ---------------------------------------------------------------------------------------------
# Second run: no chart; the window comes back where it was left.

step="second start"
audio_file="$work/run2.raw"
start_player run2
find_main_window
at_stored_place() {
  [[ $(geometry_value X) == 123 && $(geometry_value Y) == 77 &&
    $(geometry_value WIDTH) == "$width" && $(geometry_value HEIGHT) == "$height" ]]
}
wait_until 10 at_stored_place ||
  fail "the window is at $(geometry_value X),$(geometry_value Y)" \
    "size $(geometry_value WIDTH)x$(geometry_value HEIGHT), not 123,77 size ${width}x$height"
log "second start: window at 123,77, size ${width}x$height ($(elapsed))"
shot second-start

step="second quit"
quit_player run2
expect_place 123 77 "$width" "$height"
log "quit again, the stored place is unchanged ($(elapsed))"

log "passed ($(elapsed))"
