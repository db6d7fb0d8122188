#!/usr/bin/env bash
# The real player under its own X server: opens the demo chart, checks the scrolling caption and
# the sound SDL's disk driver writes, pauses, resumes, stops and restarts play from the keyboard,
# moves the window, quits through the File menu, and checks that the settings and the default
# playlist were written and that the next start puts the window back where it was left; a SIGTERM
# during play quits the same way.
#
# Usage: player_e2e.sh QUILLON_BINARY SOURCE_DIR
# Exit status: 0 passed, 1 failed, 2 bad arguments, 77 skipped (no Xvfb or xdotool).
# QUILLON_E2E_SHOTS=DIR saves a screenshot of each phase there (needs ImageMagick's import).
#
# The helpers, and how they wait, are in e2e_lib.sh.
set -euo pipefail
# shellcheck source=SCRIPTDIR/e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"

e2e_begin "$@"
start_x_server
make_private_home
cp -r "$demo_dir" "$work/chart"
chart="$work/chart/demo.bms"

# geometry_value NAME: X, Y, WIDTH or HEIGHT of the main window.
geometry_value() {
  xdo getwindowgeometry --shell "$window" | sed -n "s/^$1=//p"
}

# ---------------------------------------------------------------------------------------------
# First run: the demo chart given on the command line.

step="first start"
start_player run1 "$chart"
find_main_window
log "window $window is up ($(elapsed))"

step="caption"
expect_demo_caption
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

# ---------------------------------------------------------------------------------------------
# Third run: a chart in a folder and file named in CP932 bytes (as BMS archives unpack on Linux),
# given by a relative path, ended with SIGTERM; the next start finds it in the default playlist
# and the window where it was left.

cp932_folder=$'\x89\xb9\x8a\x79'  # "音楽" in CP932: not UTF-8
cp932_name=$'\x8b\xc8.bms'          # "曲.bms"
mkdir "$work/$cp932_folder"
cp -r "$demo_dir"/. "$work/$cp932_folder/"
mv "$work/$cp932_folder/demo.bms" "$work/$cp932_folder/$cp932_name"
cp932_chart="$work/$cp932_folder/$cp932_name"

step="CP932 chart from a relative path"
pushd "$work" >/dev/null
start_player run3 "$cp932_folder/$cp932_name"
popd >/dev/null
find_main_window
expect_sound "the CP932-named chart plays"
xdo windowmove --sync "$window" 200 100 || fail "xdotool could not move the window"
log "CP932-named chart plays, window moved to 200,100 ($(elapsed))"

step="SIGTERM while playing"
kill -TERM "$player_pid"
wait_until 20 player_ended || fail "the program was still running 20 s after SIGTERM"
status=0
wait "$player_pid" || status=$?
player_pid=""
[[ $status -eq 0 ]] || fail "the program exited with status $status after SIGTERM"
expect_place 200 100 "$width" "$height"
LC_ALL=C grep -qF "$cp932_chart" "$playlist_file" ||
  fail "the default playlist does not name the chart by its absolute CP932 path"
[[ ! -e $work/runtime/quillon ]] || fail "the remote-control socket is left after SIGTERM"
log "SIGTERM: exit status 0, place and playlist saved, socket removed ($(elapsed))"

step="start after SIGTERM"
start_player run4
find_main_window
at_new_place() { [[ $(geometry_value X) == 200 && $(geometry_value Y) == 100 ]]; }
wait_until 10 at_new_place ||
  fail "the window is at $(geometry_value X),$(geometry_value Y), not 200,100"
quit_player run4
LC_ALL=C grep -qF "$cp932_chart" "$playlist_file" ||
  fail "after a restart the default playlist no longer names the CP932 chart"
log "restart: window at 200,100, the chart still in the default playlist ($(elapsed))"

log "passed ($(elapsed))"
