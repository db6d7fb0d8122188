#!/usr/bin/env bash
# The desktop's media controls against the real program, on a session bus of the test's own
# (dbus-run-session) and its own X server. The player starts without a chart, its playlist holding
# the demo chart (with a stage picture) and a second chart with a title of its own; dbus-send
# then plays the list through org.mpris.MediaPlayer2.Player (Next, Pause, PlayPause, Next,
# Previous, a seek, Stop) and reads back PlaybackStatus and Metadata after each step, while
# dbus-monitor records the PropertiesChanged signals; Quit ends the player. Last, a player
# started with a bus address that leads nowhere plays the demo and says nothing about the bus.
#
# Usage: mpris.sh QUILLON_BINARY SOURCE_DIR
# Exit status: 0 passed, 1 failed, 2 bad arguments, 77 skipped (no Xvfb, xdotool, dbus-run-session
# or dbus-send). QUILLON_E2E_SHOTS=DIR saves screenshots (needs ImageMagick's import).
set -euo pipefail

# The whole run goes inside a private session bus, which ends with it.
if [[ -z ${QUILLON_E2E_PRIVATE_BUS:-} ]]; then
  for tool in dbus-run-session dbus-send dbus-monitor; do
    if ! command -v "$tool" >/dev/null 2>&1; then
      echo "e2e: skipped: $tool is not installed"
      exit 77
    fi
  done
  export QUILLON_E2E_PRIVATE_BUS=1
  exec dbus-run-session -- bash "${BASH_SOURCE[0]}" "$@"
fi

# shellcheck source=SCRIPTDIR/e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"

e2e_begin "$@"
[[ -n ${DBUS_SESSION_BUS_ADDRESS:-} ]] || fail "dbus-run-session gave no bus address"
start_x_server
make_private_home
cd "$work"

# The player reaches the test's bus; the library's address leads nowhere.
for i in "${!player_env[@]}"; do
  if [[ ${player_env[$i]} == DBUS_SESSION_BUS_ADDRESS=* ]]; then
    player_env[i]="DBUS_SESSION_BUS_ADDRESS=$DBUS_SESSION_BUS_ADDRESS"
  fi
done

readonly bus_name=org.mpris.MediaPlayer2.quillon
readonly object=/org/mpris/MediaPlayer2
readonly player_interface=org.mpris.MediaPlayer2.Player

# The demo with a stage picture, and another chart under a title of its own, in the playlist.
cp -r "$demo_dir" "$work/demo"
sed -i 's/^#TITLE .*/&\n#STAGEFILE bga_01.png\r/' "$work/demo/demo.bms"
cp -r "$demo_dir" "$work/other"
sed -i 's/^#TITLE .*/#TITLE Another Song\r/' "$work/other/demo.bms"
mkdir -p "$(dirname "$playlist_file")"
printf 'Demo\tQuillon Demo\tQuillon\t--:--\t%s\r\nDemo\tAnother Song\tQuillon\t--:--\t%s\r\n' \
  "$work/demo/demo.bms" "$work/other/demo.bms" >"$playlist_file"

# call METHOD [ARGUMENT...]: a method of the Player interface, which must be answered.
call() {
  local method=$1
  shift
  dbus-send --session --print-reply --reply-timeout=20000 --dest="$bus_name" "$object" \
    "$player_interface.$method" "$@" >"$work/call.out" 2>&1 ||
    fail "$method was not answered: $(cat "$work/call.out")"
}
# property INTERFACE NAME: prints the reply to Properties.Get.
property() {
  dbus-send --session --print-reply --reply-timeout=20000 --dest="$bus_name" "$object" \
    org.freedesktop.DBus.Properties.Get string:"$1" string:"$2" 2>&1
}
# The text of a string property.
string_property() { property "$1" "$2" | sed -n 's/^ *variant *string "\(.*\)"$/\1/p'; }
status() { string_property "$player_interface" PlaybackStatus; }
# meta KEY: the value of one Metadata entry, as dbus-send prints it (a string without quotes).
meta() {
  property "$player_interface" Metadata |
    awk -v key="string \"$1\"" 'found { sub(/^ *variant */, ""); print; exit }
                                index($0, key) { found = 1 }' | sed 's/^[a-z0-9 ]*"\(.*\)"$/\1/'
}

status_is() { [[ $(status) == "$1" ]]; }
expect_status() {
  wait_until 30 status_is "$1" || fail "PlaybackStatus is \"$(status)\", not \"$1\" ($2)"
}
title_is() { [[ $(meta xesam:title) == "$1" ]]; }
expect_title() {
  wait_until 30 title_is "$1" || fail "xesam:title is \"$(meta xesam:title)\", not \"$1\" ($2)"
}
name_owned() {
  dbus-send --session --print-reply --dest=org.freedesktop.DBus /org/freedesktop/DBus \
    org.freedesktop.DBus.NameHasOwner string:"$bus_name" 2>/dev/null | grep -q 'boolean true'
}

# ---------------------------------------------------------------------------------------------
step="player start"
dbus-monitor --session \
  "type='signal',interface='org.freedesktop.DBus.Properties',member='PropertiesChanged'" \
  >"$work/signals.log" 2>&1 &
helper_pids=$!
start_player run1
find_main_window
wait_until 60 name_owned || fail "nobody took $bus_name on the bus within 60 s"
[[ $(string_property org.mpris.MediaPlayer2 Identity) == Quillon ]] ||
  fail "Identity is \"$(string_property org.mpris.MediaPlayer2 Identity)\""
[[ $(string_property org.mpris.MediaPlayer2 DesktopEntry) == quillon ]] ||
  fail "DesktopEntry is \"$(string_property org.mpris.MediaPlayer2 DesktopEntry)\""
expect_status Stopped "no chart yet"
[[ $(meta mpris:trackid) == /org/mpris/MediaPlayer2/TrackList/NoTrack ]] ||
  fail "with no chart, mpris:trackid is \"$(meta mpris:trackid)\""
log "on the bus as $bus_name, Stopped, no track ($(elapsed))"
shot started

# ---------------------------------------------------------------------------------------------
step="next from nothing"
call Next
expect_status Playing "Next plays the playlist's first chart"
expect_title "Quillon Demo" "the first chart"
expect_sound "Next"
[[ $(meta xesam:url) == "file://$work/demo/demo.bms" ]] || fail "xesam:url is \"$(meta xesam:url)\""
[[ $(meta mpris:artUrl) == "file://$work/demo/bga_01.png" ]] ||
  fail "mpris:artUrl is \"$(meta mpris:artUrl)\""
length=$(meta mpris:length | sed -n 's/^int64 \([0-9]*\)$/\1/p')
[[ -n $length && $length -gt 1000000 ]] || fail "mpris:length is \"$(meta mpris:length)\""
first_track=$(meta mpris:trackid)
log "Next: Playing \"Quillon Demo\", length $length us, art and url as files ($(elapsed))"
shot playing

step="pause and resume"
call Pause
expect_status Paused "Pause"
expect_silence "Pause"
call PlayPause
expect_status Playing "PlayPause after Pause"
expect_sound "PlayPause"
log "Pause: silence; PlayPause: sound again ($(elapsed))"

step="seek"
position() { property "$player_interface" Position | sed -n 's/^ *variant *int64 \([0-9]*\)$/\1/p'; }
# Seconds of sound have played by now.
before=$(position)
[[ -n $before && $before -ge 1500000 ]] || fail "after seconds of play the position is \"$before\""
call SetPosition objpath:"$first_track" int64:0
# Play sought back to the start: the position is below what it was after seconds of play.
early() { local p; p=$(position); [[ -n $p && $p -lt 1500000 ]]; }
wait_until 30 early || fail "after SetPosition to 0 the position is \"$(position)\""
expect_status Playing "after the seek"
log "SetPosition 0: position $before us before, $(position) us after, still Playing ($(elapsed))"

step="next and previous"
call Next
expect_title "Another Song" "Next"
expect_status Playing "the second chart"
[[ $(meta mpris:trackid) != "$first_track" ]] || fail "the second chart kept the first track id"
call Previous
expect_title "Quillon Demo" "Previous"
expect_status Playing "Previous"
log "Next: \"Another Song\"; Previous: \"Quillon Demo\" ($(elapsed))"

step="stop"
call Stop
expect_status Stopped "Stop"
expect_silence "Stop"
log "Stop: Stopped, silence ($(elapsed))"

step="signals"
# The changes went out as signals, without anyone asking.
for want in '"Another Song"' '"Paused"' '"Stopped"' 'string "Playing"'; do
  grep -qF -- "$want" "$work/signals.log" || fail "no PropertiesChanged carried $want"
done
log "PropertiesChanged carried the titles and every status ($(elapsed))"

step="quit"
call_root() {
  dbus-send --session --print-reply --dest="$bus_name" "$object" "org.mpris.MediaPlayer2.$1" \
    >/dev/null 2>&1 || fail "$1 was not answered"
}
call_root Quit
wait_until 30 player_ended || fail "the player still ran 30 s after Quit"
status=0
wait "$player_pid" || status=$?
player_pid=""
[[ $status -eq 0 ]] || fail "the player exited with status $status after Quit"
! name_owned || fail "$bus_name is still owned after the player ended"
log "Quit: the player ended with status 0 and left the bus ($(elapsed))"

# ---------------------------------------------------------------------------------------------
step="no bus"
for i in "${!player_env[@]}"; do
  if [[ ${player_env[$i]} == DBUS_SESSION_BUS_ADDRESS=* ]]; then
    player_env[i]="DBUS_SESSION_BUS_ADDRESS=unix:path=$work/no-bus"
  fi
done
start_player run2 "$work/demo/demo.bms"
find_main_window
expect_demo_caption
expect_sound "a player with no bus"
! grep -qi 'dbus\|d-bus' "$work/run2.log" || fail "the player spoke of the bus: $(cat "$work/run2.log")"
quit_player run2
log "with no bus the player plays and says nothing about it ($(elapsed))"

log "passed ($(elapsed))"
