#!/usr/bin/env bash
# Opening files with the program while it runs, as a file manager does (`quillon %F`): the second
# start hands them to the running player and ends, no second window opens. A .bpl opens as the
# player's playlist and shows it; then two charts (given as relative paths, from another folder):
# the first loads and plays in the running player, which the caption shows, the second joins the
# playlist. With no player running the same command starts one, which plays the first chart and
# lists both. The playlists are read from the default playlist the player writes when it quits.
#
# Usage: second_start.sh QUILLON_BINARY SOURCE_DIR
# Exit status: 0 passed, 1 failed, 2 bad arguments, 77 skipped (no Xvfb or xdotool).
# QUILLON_E2E_SHOTS=DIR saves a screenshot of each phase there (needs ImageMagick's import).
# The helpers, and how they wait, are in e2e_lib.sh.
set -euo pipefail
# shellcheck source=SCRIPTDIR/e2e_lib.sh
source "$(dirname "${BASH_SOURCE[0]}")/e2e_lib.sh"

e2e_begin "$@"
start_x_server
make_private_home
cd "$work"

socket="$work/runtime/quillon"
cp -r "$demo_dir" "$work/first"
# Two more charts with titles of their own, in a folder whose name holds a blank.
mkdir -p "$work/more songs"
for name in other extra; do
  cp -r "$demo_dir" "$work/more songs/$name"
done
sed -i 's/^#TITLE .*/#TITLE Another Song\r/' "$work/more songs/other/demo.bms"
sed -i 's/^#TITLE .*/#TITLE Extra Song\r/' "$work/more songs/extra/demo.bms"
other="$work/more songs/other/demo.bms"
extra="$work/more songs/extra/demo.bms"
listed="$work/listed.bms"
printf '#TITLE Listed\r\n#BPM 120\r\n' >"$listed"
printf 'g\tListed\ta\t--:--\t%s\r\n' "$listed" >"$work/my list.bpl"

second_pid=""
track_helpers() { helper_pids="$second_pid"; }

# second_start NAME ARGUMENT...: runs `quillon ARGUMENT...` in "more songs" with the player's
# environment, waiting at most 30 s for it to end; it must exit with status 0.
second_ended() { ! alive "$second_pid"; }
second_start() {
  local name=$1
  shift
  (cd "$work/more songs" && exec "${player_env[@]}" "$quillon_bin" "$@") \
    >"$work/$name.out" 2>"$work/$name.err" &
  second_pid=$!
  track_helpers
  wait_until 30 second_ended || fail "quillon $* was still running after 30 s"
  local status=0
  wait "$second_pid" || status=$?
  second_pid=""
  track_helpers
  [[ $status -eq 0 ]] || fail "quillon $* exited with status $status: $(cat "$work/$name.err")"
}

# The player's visible windows.
visible_windows() { { xdo search --onlyvisible --pid "$player_pid" || true; } | wc -l; }
playlist_shown() { [[ $(visible_windows) -ge 2 ]]; }

# Waits until the caption reads "[Quillon] " and then TEXT turned round (one character a step).
shows_title() {
  local now rest
  now=$(caption)
  [[ $now == "[Quillon] "* ]] || return 1
  rest=${now#"[Quillon] "}
  [[ ${#rest} -ge ${#wanted_title} && $wanted_title$wanted_title == *"$rest"* ]]
}
expect_title() {
  wanted_title=$1
  wait_until 60 shows_title || fail "the caption reads \"$(caption)\", not \"$1\" turned round"
}

# Quits by SIGTERM (as File > Quit: the default playlist is written) and checks the exit status.
term_player() {
  kill -TERM "$player_pid"
  wait_until 30 player_ended || fail "the player still ran 30 s after SIGTERM"
  local status=0
  wait "$player_pid" || status=$?
  player_pid=""
  [[ $status -eq 0 ]] || fail "the player exited with status $status"
}

# The chart paths of the default playlist, one a line.
listed_paths() { cut -f5 "$playlist_file" | tr -d '\r'; }
expect_listed() {
  local want
  want=$(printf '%s\n' "$@")
  [[ $(listed_paths) == "$want" ]] ||
    fail "the default playlist lists \"$(listed_paths | tr '\n' '|')\", not \"${want//$'\n'/|}\""
}

socket_listens() { [[ -S $socket ]]; }

# ---------------------------------------------------------------------------------------------
step="player start"
start_player run1 "$work/first/demo.bms"
find_main_window
expect_title "(Demo) Quillon Demo / Quillon   "
wait_until 60 socket_listens || fail "no socket at XDG_RUNTIME_DIR/quillon within 60 s"
log "window $window plays the first chart and listens ($(elapsed))"
shot started

step="a playlist from a second start"
second_start playlist "../my list.bpl"
wait_until 30 playlist_shown || fail "the playlist window did not show"
[[ $(visible_windows) -eq 2 ]] || fail "$(visible_windows) windows are visible, not 2"
log "the second start ended with status 0; the playlist window shows ($(elapsed))"
shot playlist

step="two charts from a second start"
second_start charts other/demo.bms extra/demo.bms
expect_title "(Demo) Another Song / Quillon   "
[[ $(visible_windows) -eq 2 ]] || fail "$(visible_windows) windows are visible, not 2"
expect_sound "the chart handed over by a second start"
log "the second start ended with status 0; the player plays \"Another Song\" ($(elapsed))"
shot handed-over

step="quit"
term_player
expect_listed "$listed" "$extra"
log "the playlist holds the opened list's chart and the added one ($(elapsed))"

# ---------------------------------------------------------------------------------------------
step="no player running"
(cd "$work/more songs" && exec "${player_env[@]}" "SDL_DISKAUDIOFILE=$work/run2.raw" \
  "$quillon_bin" other/demo.bms extra/demo.bms) >"$work/run2.log" 2>&1 &
player_pid=$!
audio_file="$work/run2.raw"
find_main_window
expect_title "(Demo) Another Song / Quillon   "
log "the same command with no player running started one, which plays ($(elapsed))"
shot new-player
term_player
expect_listed "$other" "$extra"
log "it listed both charts ($(elapsed))"

log "passed ($(elapsed))"
