# shellcheck shell=bash
# Helpers shared by the end-to-end scripts, which source this file: a private X server and home
# for the real program, bounded waits, the main window through xdotool, and the sound that SDL's
# disk driver writes.
#
# A script calls, in order: e2e_begin "$@" (arguments, tools, work folder, clean-up),
# start_x_server, make_private_home; then start_player and the checks. It sets `step` before each
# phase so that a failure names it.
#
# Every wait polls with an upper bound and never asserts how long something took, so a slow
# machine or a sanitizer build only makes the run longer. The audio checks count time in samples
# written, not in wall-clock time.

# SDL's disk driver writes what the program asks for: signed 16-bit samples in the machine's
# byte order, two channels, at the rate the chart is mixed at: that of most of its sounds, and at
# least 44100 Hz, so 44100 Hz for the demo (whose sounds are at 22050 Hz).
readonly bytes_per_second=$((44100 * 2 * 2))
# Loudest sample still counted as silence, and quietest one counted as sound.
readonly silence_level=16
readonly sound_level=512
# The demo is never silent for more than 0.35 s while it plays (its last sound ends about 26 s
# in), so 0.75 s of silence means play is paused or stopped.
readonly silent_stretch=$((bytes_per_second * 3 / 4))
readonly check_stretch=$bytes_per_second
readonly silence_deadline=$((bytes_per_second * 8))
# The demo's title line as the caption scrolls it: "[Quillon] " and then this text turned round,
# one character per step.
readonly demo_title_text="(Demo) Quillon Demo / Quillon   "

work=""
xvfb_pid=""
player_pid=""
# Further processes of a script (background clients); clean-up ends them too.
helper_pids=""
step="set-up"

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

# Ends a process of ours: TERM, up to 5 s to go, then KILL; and reaps it.
end_process() {
  local pid=$1
  if alive "$pid"; then
    kill -TERM "$pid" 2>/dev/null || true
    for _ in $(seq 50); do
      alive "$pid" || break
      sleep 0.1
    done
    kill -KILL "$pid" 2>/dev/null || true
  fi
  wait "$pid" 2>/dev/null || true
}

cleanup() {
  local pid
  for pid in $helper_pids $player_pid $xvfb_pid; do
    end_process "$pid"
  done
  [[ -z $work ]] || rm -rf "$work"
}

# e2e_begin QUILLON_BINARY SOURCE_DIR: checks the arguments and the tools, makes the work folder
# and sets up the clean-up. Exits 2 on bad arguments, 77 when Xvfb or xdotool is missing.
e2e_begin() {
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

  local tool
  for tool in Xvfb xdotool; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "e2e: skipped: $tool is not installed"
      exit 77
    fi
  done

  work=$(mktemp -d "${TMPDIR:-/tmp}/quillon-e2e.XXXXXX")
  trap cleanup EXIT
  trap 'exit 1' INT TERM HUP
  start_ms=$(now_ms)
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

display_ready() { [[ -s $work/display ]] || ! alive "$xvfb_pid"; }
start_x_server() {
  step="X server"
  # Xvfb picks a free display itself and writes its number once it accepts connections. Two
  # servers starting at the same moment (tests run in parallel) can pick the same number, and the
  # one that loses ends at once: it is started again.
  local attempt
  for attempt in 1 2 3 4 5; do
    : >"$work/display"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$work/display" >"$work/xvfb.log" 2>&1 &
    xvfb_pid=$!
    wait_until 30 display_ready || fail "Xvfb did not start within 30 s"
    alive "$xvfb_pid" && break
    wait "$xvfb_pid" 2>/dev/null || true
    log "Xvfb ended at start (attempt $attempt): $(tail -n 1 "$work/xvfb.log")"
    sleep 0.$((RANDOM % 9 + 1))
  done
  alive "$xvfb_pid" || fail "Xvfb ended: $(tail -n 5 "$work/xvfb.log")"
  local display_number
  display_number=$(head -n 1 "$work/display")
  [[ $display_number =~ ^[0-9]+$ ]] || fail "Xvfb gave no display number"
  export DISPLAY=":$display_number"
  log "X server on $DISPLAY ($(elapsed))"
}

# Makes the private folders (the runtime folder private to the user, as the session's is) and
# sets `player_env`, the only environment the program sees (sanitizer options pass through). Its
# D-Bus session address leads nowhere: the user's session bus stays untouched, and libdbus does
# not try to start a bus of its own (that attempt leaks inside libdbus, which LeakSanitizer
# reports).
make_private_home() {
  mkdir -p "$work/home" "$work/config" "$work/data" "$work/tmp" "$work/runtime"
  chmod 700 "$work/runtime"
  # shellcheck disable=SC2034 # for the scripts that source this file
  settings_file="$work/config/Quillon/Quillon.ini"
  # shellcheck disable=SC2034
  playlist_file="$work/data/Quillon/quillon.bpl"
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
  local name
  for name in ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS; do
    if [[ -n ${!name:-} ]]; then player_env+=("$name=${!name}"); fi
  done
}

# ---------------------------------------------------------------------------------------------
# The player and its main window.

# start_player RUN_NAME [ARGUMENT...]: starts the program writing its sound to RUN_NAME.raw and
# its output to RUN_NAME.log; sets `player_pid` and `audio_file`.
start_player() {
  local name=$1
  shift
  audio_file="$work/$name.raw"
  "${player_env[@]}" "SDL_DISKAUDIOFILE=$audio_file" "$quillon_bin" "$@" \
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

# Waits until the caption reads "[Quillon] " and the demo's title text turned round, and has
# scrolled on by a step; sets `first_caption` and `second_caption`.
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
expect_demo_caption() {
  first_caption=""
  wait_until 60 caption_scrolls ||
    fail "the caption did not read \"[Quillon] ...\" and change; it reads \"$(caption)\""
  second_caption=$(caption)
  local c rest
  for c in "$first_caption" "$second_caption"; do
    rest=${c#"[Quillon] "}
    if [[ ${#rest} -lt ${#demo_title_text} || $demo_title_text$demo_title_text != *"$rest"* ]]; then
      fail "caption \"$c\" is not the title text turned round"
    fi
  done
}

# Quits through the keyboard: Alt+F opens the File menu, Q runs "Quit(&Q)". The menu only opens
# on real key events, so the keys go through XTEST to the focused window. RUN_NAME names the
# screenshot.
menu_opened() { [[ $(xdo search --onlyvisible --pid "$player_pid" | wc -l) -ge 2 ]]; }
player_ended() { ! alive "$player_pid"; }
quit_player() {
  xdo windowfocus --sync "$window" || fail "cannot focus the main window"
  xdo key --clearmodifiers alt+f
  wait_until 20 menu_opened || fail "Alt+F did not open the File menu"
  shot "$1-file-menu"
  xdo key --clearmodifiers q
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
# Sound written by the disk driver to `audio_file`.

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
grown_to=0
grown() { (($(audio_size) >= grown_to)); }
next_peak() {
  local offset length=$1
  offset=$(audio_size)
  grown_to=$((offset + length))
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
# expect_sound WHAT: sound is written from now on, and goes on for a second.
expect_sound() {
  mark=$(audio_size)
  wait_until 30 sound_after_mark || fail "no sound was written within 30 s ($1)"
  next_peak "$check_stretch"
  ((level > sound_level)) || fail "the sound stopped again right after it started ($1)"
}

# Waits until the newest silent_stretch bytes are silent, then checks the next second stays so.
# The silence must come within silence_deadline of sound after the command: later, the chart
# could have reached its silent end on its own.
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
# expect_silence WHAT: the sound stops soon and stays away.
expect_silence() {
  mark=$(audio_size)
  silence_found=0
  wait_until 60 silence_at_end || fail "the sound output stopped growing ($1)"
  ((silence_found)) ||
    fail "still sound $((silence_deadline / bytes_per_second)) s of output after the command ($1)"
  next_peak "$check_stretch"
  ((level <= silence_level)) || fail "sound came back without a command (peak $level, $1)"
}
