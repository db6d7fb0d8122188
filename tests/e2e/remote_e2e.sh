#!/usr/bin/env bash
# Remote control and editor preview with the real program under its own X server. A `quillon
# --remote` client finds no player at first; then a player starts without a chart, listens on a
# socket only its user may use, and a client loads the demo chart (from a folder whose name holds
# a blank), pauses, resumes and stops it, asks for the next entry (the player only passes the
# request on, its own playlist stays put) and ends the remote control. An editor's preview
# (-P -N<m>) hands the chart to the running player and -S stops it, while a background client
# listens to what the player announces; after the player has quit, a preview starts a new player,
# and a stop finds nothing to stop.
#
# Usage: remote_e2e.sh QUILLON_BINARY SOURCE_DIR
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

chart_dir="$work/my charts"
cp -r "$demo_dir" "$chart_dir"
chart="$chart_dir/demo.bms"
socket="$work/runtime/quillon"

# The player's own playlist holds another chart with a title of its own: had the player stepped
# its playlist itself on a remote "next", that chart would load, play and show in the caption.
cp -r "$demo_dir" "$work/other"
sed -i 's/^#TITLE .*/#TITLE Another Song\r/' "$work/other/demo.bms"
mkdir -p "$(dirname "$playlist_file")"
printf 'Demo\tAnother Song\tQuillon\t--:--\t%s\r\n' "$work/other/demo.bms" >"$playlist_file"

# Clients are reaped here, so the clean-up only ever ends processes of this run.
client_pid=""
listener_pid=""
track_helpers() { helper_pids="$client_pid $listener_pid"; }

# client NAME LIMIT ARGUMENT...: runs `quillon ARGUMENT...` in `client_dir` (the work folder
# unless set) with the player's environment, and waits at most LIMIT seconds for it to end. Its
# output goes to NAME.out and NAME.err; sets `client_status`.
client_ended() { ! alive "$client_pid"; }
client() {
  local name=$1 limit=$2
  shift 2
  (cd "${client_dir:-$work}" && exec "${player_env[@]}" "$quillon_bin" "$@") \
    >"$work/$name.out" 2>"$work/$name.err" &
  client_pid=$!
  track_helpers
  wait_until "$limit" client_ended || fail "quillon $* was still running after $limit s"
  client_status=0
  wait "$client_pid" || client_status=$?
  client_pid=""
  track_helpers
}

# remote NAME TEXT [--wait MS]: a remote-control client that must succeed.
remote() {
  local name=$1
  shift
  client "$name" 30 --remote "$@"
  [[ $client_status -eq 0 ]] ||
    fail "quillon --remote $* exited with status $client_status: $(cat "$work/$name.err")"
}

# printed NAME LINE: the client NAME printed exactly LINE.
printed() { grep -qxF -- "$2" "$work/$1.out"; }
# expect_printed NAME LINE...: fails unless the client printed every LINE.
expect_printed() {
  local name=$1 line
  shift
  for line in "$@"; do
    printed "$name" "$line" ||
      fail "the client printed \"$(tr '\n' '|' <"$work/$name.out")\", no \"$line\" line"
  done
}
# expect_length NAME: the client NAME printed a "PLENGTH <ms>" line with a length above 0; sets
# `length` to it.
expect_length() {
  length=$(sed -n 's/^PLENGTH \([0-9][0-9]*\)$/\1/p' "$work/$1.out" | head -n 1)
  [[ -n $length && $length -gt 0 ]] ||
    fail "the client printed \"$(tr '\n' '|' <"$work/$1.out")\", no \"PLENGTH <ms>\" line above 0"
}

# Sockets the player holds open: its X connection, its listening socket, one per client.
player_sockets() { find "/proc/$player_pid/fd" -lname 'socket:*' 2>/dev/null | wc -l; }
sockets_are() { [[ $(player_sockets) -eq $1 ]]; }

socket_listens() { [[ -S $socket ]]; }
# mode_bits PATH: its permission bits in octal.
mode_bits() { stat -c %a "$1"; }
# The group and other bits of PATH are all clear.
private_to_user() { (((8#$(mode_bits "$1") & 8#077) == 0)); }

# ---------------------------------------------------------------------------------------------
step="client without a player"
client no-player 30 --remote LPLAY
[[ $client_status -eq 2 ]] ||
  fail "quillon --remote LPLAY with no player exited with status $client_status, not 2"
[[ -s $work/no-player.err ]] || fail "quillon --remote LPLAY with no player said nothing on stderr"
log "no player: exit status 2, \"$(head -n 1 "$work/no-player.err")\" ($(elapsed))"

# ---------------------------------------------------------------------------------------------
step="player start"
start_player run1
find_main_window
wait_until 60 socket_listens || fail "no socket at XDG_RUNTIME_DIR/quillon within 60 s"
private_to_user "$socket" || fail "the socket has mode $(mode_bits "$socket"), open to others"
private_to_user "$(dirname "$socket")" ||
  fail "the socket's folder has mode $(mode_bits "$(dirname "$socket")"), open to others"
idle_sockets=$(player_sockets)
log "window $window is up; socket mode $(mode_bits "$socket"), its folder" \
  "$(mode_bits "$(dirname "$socket")") ($(elapsed))"
shot started

# ---------------------------------------------------------------------------------------------
step="remote load"
remote load "LLOAD $chart" --wait 1500
expect_length load
expect_printed load "PENABLED True"
expect_demo_caption
expect_sound "loaded and played by remote control"
log "LLOAD: PLENGTH $length, PENABLED True, caption \"$second_caption\", sound ($(elapsed))"
shot loaded

step="remote pause"
remote pause LPAUSE
expect_silence "LPAUSE"
log "LPAUSE: silence ($(elapsed))"

step="remote resume"
remote resume LPLAY
expect_sound "LPLAY after LPAUSE"
log "LPLAY: sound again ($(elapsed))"

step="remote stop"
remote stop LSTOP --wait 800
expect_printed stop "PENABLED False"
expect_silence "LSTOP"
log "LSTOP: PENABLED False, silence ($(elapsed))"

step="remote next"
remote next LNEXT --wait 800
expect_printed next "PNEXT"
# The other chart would have loaded and started by the time the answer came back.
expect_demo_caption
next_peak "$check_stretch"
((level <= silence_level)) || fail "sound after LNEXT (peak $level): a chart started playing"
log "LNEXT: PNEXT, caption still \"$second_caption\", still silent ($(elapsed))"

step="remote close"
remote close LCLOSE --wait 800
expect_printed close "PCLOSE"
alive "$player_pid" || fail "the player ended on LCLOSE"
log "LCLOSE: PCLOSE, the player runs on ($(elapsed))"
shot remote-closed

# ---------------------------------------------------------------------------------------------
# An editor's preview while the player runs. A background client listens to what the player
# announces; it sends an "L" text that names no command, which keeps remote control on while it
# stays connected (the preview client itself leaves at once, which would end it). What it printed
# is read once it has ended, which the player's quit brings about.
step="listener"
wait_until 30 sockets_are "$idle_sockets" ||
  fail "the player holds $(player_sockets) sockets, not $idle_sockets, with no client connected"
"${player_env[@]}" "$quillon_bin" --remote LLISTEN --wait 600000 \
  >"$work/listener.out" 2>"$work/listener.err" &
listener_pid=$!
track_helpers
wait_until 30 sockets_are $((idle_sockets + 1)) || fail "the player did not take the listener on"

step="preview in the running player"
# A path relative to the editor's folder, which is not the player's.
client_dir=$chart_dir client preview 10 -P -N3 demo.bms
[[ $client_status -eq 0 ]] ||
  fail "quillon -P -N3 exited with status $client_status: $(cat "$work/preview.err")"
expect_demo_caption
expect_sound "editor preview from measure 3"
log "-P -N3 returned 0; the player plays ($(elapsed))"
shot preview

step="editor stop"
client preview-stop 10 -S
[[ $client_status -eq 0 ]] ||
  fail "quillon -S exited with status $client_status: $(cat "$work/preview-stop.err")"
expect_silence "quillon -S"
log "-S returned 0; silence ($(elapsed))"

# ---------------------------------------------------------------------------------------------
step="quit with a listener"
quit_player run1
listener_ended() { ! alive "$listener_pid"; }
wait_until 30 listener_ended || fail "the listening client still ran 30 s after the player quit"
listener_status=0
wait "$listener_pid" || listener_status=$?
listener_pid=""
track_helpers
[[ $listener_status -eq 0 ]] ||
  fail "the listening client exited with status $listener_status: $(cat "$work/listener.err")"
heard=$(tr '\n' '|' <"$work/listener.out")
# In this order: the preview's length and start, the stop, and the closing word at quit, last.
awk 'BEGIN {
       n = split("^PLENGTH [1-9][0-9]*$|^PENABLED True$|^PENABLED False$|^PCLOSE$", want, "|")
     }
     i < n && $0 ~ want[i + 1] { i++ }
     { last = $0 }
     END { exit !(i == n && last == "PCLOSE") }' "$work/listener.out" ||
  fail "the listener heard \"$heard\", not PLENGTH, PENABLED True, PENABLED False, PCLOSE"
# Charts loaded by remote control and by the preview leave the player's own playlist alone.
if ! grep -qF "$work/other/demo.bms" "$playlist_file" || grep -qF "$chart" "$playlist_file"; then
  fail "the default playlist changed: \"$(tr '\r\n' '||' <"$playlist_file")\""
fi
if [[ -e $socket ]]; then
  client stale 30 --remote LPLAY
  [[ $client_status -eq 2 ]] || fail "a client still reached a player after it quit"
  socket_state="left behind, nobody answers"
else
  socket_state="removed"
fi
log "quit; the listener heard \"$heard\"; the playlist is unchanged; the socket is" \
  "$socket_state ($(elapsed))"

# ---------------------------------------------------------------------------------------------
step="preview with no player"
start_player run2 -P -N2 "$chart"
find_main_window
expect_demo_caption
expect_sound "editor preview in a new player"
wait_until 60 socket_listens || fail "the new player does not listen at XDG_RUNTIME_DIR/quillon"
log "-P -N2 started a new player, which plays and listens ($(elapsed))"
shot new-player

step="quit the new player"
quit_player run2
log "quit ($(elapsed))"

step="editor stop with no player"
client stop-nothing 10 -S
[[ $client_status -eq 0 ]] ||
  fail "quillon -S with no player exited with status $client_status:" \
    "$(cat "$work/stop-nothing.err")"
log "-S with no player returned 0 ($(elapsed))"

log "passed ($(elapsed))"
