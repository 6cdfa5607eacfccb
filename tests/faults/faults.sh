#!/usr/bin/env bash
# faults.sh CASE PROGRAM SNAPSHOT PACING SOCKETS: faults injected at spread moments; every run must end in time as the
# README says, with the ERROR line and status 1 or cleanly with 0, never a signal's death, a hang or a library's dump.
#   x_killed, weston_killed FIRST: the display server killed every 10 ms of the first 400 after the start (weston's
#   moments from FIRST, every 30 ms: three tests side by side share them), then once the program and the tool drew
#   silent, frozen: the X server or weston stopped (SIGSTOP) before the start (it takes the connection and never
#   answers) or while frames are drawn, then SIGTERM
#   fifo: both tools writing into a FIFO nobody reads, then SIGINT; file_size: the program's stdout at ulimit -f
#   refused: no X cookie, bad WAYLAND_SOCKETs, SDL_VIDEODRIVER=wayland,x11 without a compositor
. "$(dirname "$0")/../e2e/lib.sh"
case_name=${1:-}
shift
e2e_setup "${1:-}" xauth weston xdotool import
snapshot=$(realpath "${2:-}") pacing=$(realpath "${3:-}") sockets=$(realpath "${4:-}")
[ -x "$snapshot" ] && [ -x "$pacing" ] && [ -x "$sockets" ] || fail "usage: $0 CASE PROGRAM SNAPSHOT PACING SOCKETS"
compositor="$(dirname "$0")/../wayland/compositor.sh"
out=$e2e_dir/stdout err=$e2e_dir/stderr
status='' stopped='' weston_pid=''
# A stopped server first let go on (it would not end), then weston ended.
fault_cleanup() {
  [ -n "$stopped" ] && kill -CONT "$stopped" 2>/dev/null
  [ -n "$weston_pid" ] && "$compositor" stop "$e2e_dir/weston"
  e2e_cleanup
}
trap fault_cleanup EXIT

# What the layer and the tools write on stderr; any other line is a library's dump.
own='^((CreateWindowExA|GetSystemMetrics|ShowWindow|PeekMessageA|SwapBuffers|DestroyWindow|wgl[A-Za-z]+|'
own+='ChoosePixelFormat|brimvalk-pacing|brimvalk-snapshot): |X connection to |SIG(INT|TERM|HUP) came )'

sleep_ms() { sleep "$(printf '%d.%03d' $(($1 / 1000)) $(($1 % 1000)))"; }

# wait_for_end WHAT [SECONDS]: sets status; a run still going after SECONDS (10; 2 from a signal, as promised) hangs.
wait_for_end() { e2e_wait_for_end "$1" "${2:-10}"; status=$e2e_status; }

# ended_as_promised WHAT PROGRAM-STDOUT [ERROR-LINES]: status 0, or 1 with stdout ending in one of ERROR-LINES (an ERE,
# default any) after nothing but console lines, or with none at all (`none`: a tool gave up in its own words); on
# stderr only the layer's and the tools' own lines.
ended_as_promised() {
  local what=$1 lines=$2 wanted=${3:-ERROR : .*} dump
  [ "$status" = 0 ] || [ "$status" = 1 ] ||
    fail "$what: expected status 1 or 0, got $status$( ((status > 128)) && echo " (killed by signal $((status - 128)))")"
  dump=$(grep -Ev "$own" "$err" | head -n 3)
  [ -z "$dump" ] || fail "$what: expected only the program's own reasons on stderr, got: $dump"
  [ "$status" = 1 ] || return 0
  if [ "$wanted" = none ]; then
    ! grep -q ERROR "$lines" || fail "$what: expected no ERROR line from the program, got: $(grep ERROR "$lines")"
    return 0
  fi
  [[ $(tail -n 1 "$lines") =~ ^($wanted)$ ]] && [ "$(grep -c '^ERROR : ' "$lines")" = 1 ] ||
    fail "$what: expected stdout to end in one line '$wanted', got: $(tail -n 2 "$lines" | tr '\n' '|')"
  ! head -n -1 "$lines" | grep -Evq -e '^-?[0-9]+ -?[0-9]+ -?[0-9]+ -?[0-9]+$' -e '^[0-9]+\.[0-9]{2} fps {12}$' ||
    fail "$what: expected only console lines before the ERROR line"
}

# one_reason WHAT ERROR-LINES REASON: ended as promised with status 1 and one line on stderr, matching REASON (an ERE).
one_reason() {
  ended_as_promised "$1" "$out" "$2"
  [ "$status" = 1 ] && [ "$(wc -l <"$err")" = 1 ] && grep -Eq -- "$3" "$err" ||
    fail "$1: expected status 1 and one line on stderr matching '$3', got $status: $(cat "$err")"
  e2e_log "$1: $(cat "$err")"
}

# start_server x11|weston: a fresh X server, or weston (in an X server of its own), as server_pid.
start_server() {
  if [ "$1" = weston ]; then
    "$compositor" start "$e2e_dir/weston" || fail "could not start weston"
    weston_pid=$(cat "$e2e_dir/weston/weston.pid") E2E_WAYLAND_ENV="$e2e_dir/weston/env"
  fi
  e2e_start_xvfb
  server_pid=${weston_pid:-$e2e_xvfb_pid}
}
stop_server() {
  kill -CONT "$server_pid" 2>/dev/null
  [ -n "$weston_pid" ] && "$compositor" stop "$e2e_dir/weston"
  [ -n "$e2e_xvfb_pid" ] && kill -KILL "$e2e_xvfb_pid" && wait "$e2e_xvfb_pid" 2>/dev/null
  weston_pid='' e2e_xvfb_pid=''
  unset E2E_WAYLAND_ENV
}

# start TOOL ARGUMENT...: the program, or (pacing) the tool in its own directory with the program's lines in `lines`,
# as e2e_pid.
start() {
  lines=$out
  [ "$1" = pacing ] || { e2e_start_program; return; }
  shift
  rm -rf "$e2e_dir/pacing" && mkdir "$e2e_dir/pacing" || fail "cannot make $e2e_dir/pacing"
  (cd "$e2e_dir/pacing" && exec "$pacing" --program-output program "$@") >"$out" 2>"$err" &
  e2e_pid=$! lines=$e2e_dir/pacing/program
}
# nothing_written WHAT: the tool left no file but the program's lines.
nothing_written() {
  local left
  left=$(cd "$e2e_dir/pacing" && ls -A | grep -vx program)
  [ -z "$left" ] || fail "$1: expected no file written, got: $left"
}

case $case_name in
x_killed | weston_killed)
  server=${case_name%_killed}
  server=${server/x/x11}
  for ms in $(seq "${5:-0}" $([ "$server" = x11 ] && echo 10 || echo 30) 400) drawn:program drawn:pacing; do
    tool=${ms#drawn:} at="at $ms ms"
    [[ $ms == drawn:* ]] && at='once drawn' || tool=$( ((ms / 10 % 4 == 2)) && echo pacing || echo program)
    what="$server killed $at, $tool"
    start_server "$server"
    start "$tool" --seconds 30 --csv c.csv --png p.png
    # Drawn: the first console line out, or the window shown (the tool holds its lines back), 30 s at most.
    [[ $ms == drawn:* ]] || sleep_ms "$ms"
    for _ in $(seq 300); do [[ $ms != drawn:* || -s $lines ]] || e2e_window_shown && break; sleep 0.1; done
    kill -KILL "$server_pid"
    wait_for_end "$what"
    # Once it has drawn (console lines out), the display was lost: the line says so, the reason names it.
    if head -n -1 "$lines" | grep -q .; then
      ended_as_promised "$what" "$lines" "ERROR : Lost the display"
      [ "$(wc -l <"$err")" = 1 ] && grep -Eq "X connection to $DISPLAY broken|Wayland display .*\\(WAYLAND_DISPLAY[,)]" "$err" ||
        fail "$what: expected one line naming the display on stderr, got: $(cat "$err")"
    else
      ended_as_promised "$what" "$lines"
    fi
    [ "$lines" = "$out" ] || nothing_written "$what"
    [ "$status" = 1 ] || fail "$what: expected status 1, got 0"
    e2e_log "$at, $tool: $(head -n 1 "$err")"
    stop_server "$server"
  done
  ;;
silent | frozen)
  # The reason names the display and what the layer waited on; a frozen run may also have ended cleanly.
  for server in x11 weston; do
    for tool in program pacing; do
      what="$tool, $server stopped $([ "$case_name" = silent ] && echo before the start || echo while drawing), then SIGTERM"
      start_server "$server"
      [ "$case_name" = silent ] && kill -STOP "$server_pid" && stopped=$server_pid
      start "$tool" --seconds 60 --csv c.csv
      if [ "$case_name" = silent ]; then
        e2e_wait_for_connection "$what"
      else
        for _ in $(seq 300); do [ -s "$lines" ] && break; sleep 0.1; done
        kill -STOP "$server_pid" && stopped=$server_pid
      fi
      kill -TERM "$e2e_pid"
      wait_for_end "$what" 2
      variable=$([ "$server" = x11 ] && echo DISPLAY || echo WAYLAND_DISPLAY)
      if [ "$tool" = pacing ]; then
        ended_as_promised "$what" "$lines" none
        nothing_written "$what"
        prefix='brimvalk-pacing: '
      else
        ended_as_promised "$what" "$out" "ERROR : Can't Close Window"
        prefix=''
      fi
      [ "$status" = 0 ] && [ "$case_name" = frozen ] ||
        { [ "$status" = 1 ] && [ "$(wc -l <"$err")" = 1 ] && grep -q "^${prefix}SIGTERM came 1\.5 s ago.* on the .*($variable)" "$err"; } ||
        fail "$what: expected status 1 and one line naming SIGTERM and the display ($variable), got $status: $(cat "$err")"
      e2e_log "$what: status $status: $(head -c 300 "$err")"
      stopped=''
      stop_server "$server"
    done
  done
  ;;
fifo)
  # SIGINT (not ignored, as in a terminal) while the tool runs and once it waits for a reader.
  export SDL_VIDEODRIVER=offscreen
  declare -A path=([snapshot]=$snapshot [pacing]=$pacing)
  for tool in "snapshot --frames 2 --out f" "pacing --seconds 0.5 --csv f" "pacing --seconds 0.5 --program-output f"; do
    for after_ms in 200 1500 4000; do
      what="brimvalk-$tool, SIGINT after $after_ms ms"
      dir=$e2e_dir/fifo
      rm -rf "$dir" && mkdir "$dir" && mkfifo "$dir/f" || fail "cannot make a FIFO"
      # shellcheck disable=SC2086 # the tool's arguments
      (cd "$dir" && exec env --default-signal=INT "${path[${tool%% *}]}" ${tool#* }) >"$out" 2>"$err" &
      e2e_pid=$!
      sleep_ms "$after_ms"
      kill -INT "$e2e_pid"
      wait_for_end "$what" 2
      [ "$status" = 1 ] || fail "$what: expected status 1, got $status"
      [ "$(ls -A "$dir")" = f ] && [ -p "$dir/f" ] || fail "$what: expected the FIFO alone, got $(ls -A "$dir")"
      ! grep -qv '^brimvalk-[a-z]*: ' "$err" &&
        grep -Eq "^brimvalk-[a-z]+: (cannot write f: no reader came before SIGINT|the program quit at frame)" "$err" ||
        fail "$what: expected the tool's own lines on stderr, got: $(cat "$err")"
      e2e_log "$what: $(cat "$err")"
    done
  done
  ;;
file_size)
  # Its stdout a file that stops growing at 1 KiB: the program draws on, and SIGTERM ends it cleanly.
  e2e_start_xvfb
  E2E_LAUNCHER="prlimit --fsize=1024 -- stdbuf -oL" e2e_start_program
  for _ in $(seq 300); do [ "$(stat -c %s "$out")" = 1024 ] && break; kill -0 "$e2e_pid" || break; sleep 0.1; done
  [ "$(stat -c %s "$out")" = 1024 ] || fail "expected stdout to reach the 1 KiB limit, it holds $(stat -c %s "$out") bytes"
  e2e_wait_for_window
  e2e_wait_for_new_frames 3 "at the file-size limit"
  kill -TERM "$e2e_pid"
  wait_for_end "SIGTERM at the file-size limit"
  [ "$status" = 0 ] && [ ! -s "$err" ] || fail "at the file-size limit: expected status 0 after SIGTERM, got $status: $(cat "$err")"
  ;;
refused)
  # An X server admitting one cookie: the program with none gets the server's words (another cookie goes the same way).
  cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
  xauth -q -f "$e2e_dir/server.auth" add :0 . "$cookie" 2>/dev/null || fail "xauth could not write the server's cookie"
  XVFB_OPTIONS="-auth $e2e_dir/server.auth" e2e_start_xvfb
  XAUTHORITY=$e2e_dir/none timeout 20 "$e2e_program" >"$out" 2>"$err"
  status=$?
  one_reason "no X cookie" "ERROR : Can't Create Window" "X server $DISPLAY refused the connection: Authorization required"
  xauth -q -f "$e2e_dir/right.auth" add "$DISPLAY" . "$cookie" 2>/dev/null || fail "xauth could not write the cookie"
  export XAUTHORITY=$e2e_dir/right.auth

  # WAYLAND_SOCKET naming no connection to a compositor: LAUNCH, then what the reason says.
  touch "$e2e_dir/file"
  while IFS='|' read -r launch says; do
    eval "SDL_VIDEODRIVER=wayland $launch" >"$out" 2>"$err" </dev/null
    status=$?
    one_reason "$launch" "ERROR : Can't Create Window|ERROR : Lost the display" "WAYLAND_SOCKET=[0-9]*[: ].*$says"
  done <<CASES
WAYLAND_SOCKET=99 timeout 20 \$e2e_program|not open
WAYLAND_SOCKET=0 timeout 20 \$e2e_program|/dev/null, not a socket
WAYLAND_SOCKET=5 timeout 20 \$e2e_program 5<"\$e2e_dir/file"|the file .*, not a socket
WAYLAND_SOCKET=5 timeout 20 \$e2e_program 5< <(:)|a pipe, not a socket
timeout 20 \$sockets datagram \$e2e_program|not a local stream socket
timeout 20 \$sockets unconnected \$e2e_program|connected to nothing
timeout 20 \$sockets closed \$e2e_program|its other end has closed
timeout 20 \$sockets /tmp/.X11-unix/X${DISPLAY#:} \$e2e_program|
CASES

  # wayland,x11: Wayland ruled out (no compositor at WAYLAND_DISPLAY; no XDG_RUNTIME_DIR), the window is on X.
  for setting in "WAYLAND_DISPLAY=brimvalk-nowhere" "-u XDG_RUNTIME_DIR"; do
    E2E_LAUNCHER="env $setting SDL_VIDEODRIVER=wayland,x11 stdbuf -oL" e2e_start_program
    e2e_wait_for_frames
    kill -TERM "$e2e_pid"
    wait_for_end "wayland,x11 with $setting"
    ended_as_promised "wayland,x11 with $setting" "$out"
    [ "$status" = 0 ] && [ ! -s "$err" ] || fail "wayland,x11 with $setting: expected a clean run on X, got $status: $(cat "$err")"
  done
  # Neither: one reason naming both.
  env WAYLAND_DISPLAY=brimvalk-nowhere DISPLAY=:nowhere SDL_VIDEODRIVER=wayland,x11 timeout 20 "$e2e_program" >"$out" 2>"$err"
  status=$?
  one_reason "wayland,x11, neither there" "ERROR : Can't Create Window" \
    '"brimvalk-nowhere" \(WAYLAND_DISPLAY\).*; nor the X display ":nowhere" \(DISPLAY\)'
  ;;
*) fail "usage: $0 x_killed|weston_killed FIRST|silent|frozen|fifo|file_size|refused PROGRAM SNAPSHOT PACING SOCKETS" ;;
esac
