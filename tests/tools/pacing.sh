#!/usr/bin/env bash
# brimvalk-pacing for 2 s against the program's lines, its own CSV and this script's clock: offscreen, then on Xvfb
# against glxinfo; or on weston (E2E_WAYLAND_ENV) against weston's own clients: its refresh, presentation clock and
# flags, and swap-to-present times that agree with the presentation intervals. Every fourth frame is held back 50 ms.
. "$(dirname "$0")/../e2e/lib.sh"
if e2e_on_wayland; then e2e_setup "${1:-}" identify weston-info weston-presentation-shm; else e2e_setup "${1:-}" identify glxinfo; fi
tool=$(realpath "$1") dir=$e2e_dir
line() { sed -n "$1p" "$dir/out"; }
lows='1% low [0-9.]+ fps, 0.1% low [0-9.]+ fps'

# The lines each display shows: the renderer (2nd, a pattern), the display (4th), vsync (5th) and latency (6th).
# weston against its own clients: its mode, presentation clock and flags; offscreen and Xvfb: neither known.
if e2e_on_wayland; then
  e2e_join_wayland
  info=$(timeout 20 weston-info 2>/dev/null)
  hz=$(echo "$info" | awk '/refresh:/ { r = $0 } /flags:/ && /current/ && r != "" { print r; exit }' |
    sed -n 's/.*refresh: \([0-9.]*\) Hz.*/\1/p')
  [ -n "$hz" ] || fail "weston-info shows no current mode"
  clock=$(echo "$info" | sed -n 's/.*presentation clock id: [0-9]* (\(CLOCK_[A-Z_]*\)).*/\1/p')
  [ -n "$clock" ] || fail "weston-info names no presentation clock"
  flags=$(timeout 20 stdbuf -oL weston-presentation-shm -f 2>&1 |
    awk 'match($0, /\[[a-z_]*\], seq/) && ++n == 3 { print substr($0, RSTART + 1, RLENGTH - 7); exit }')
  [ ${#flags} = 4 ] || fail "weston-presentation-shm showed no presentation flags for its third frame"
  if [ "${flags:0:1}" = s ]; then vsync=vsync verdict=held on=1; else vsync='no vsync' verdict='not held' on=0; fi
  if [ "${flags:1:1}" = c ]; then hw='hardware clock'; else hw='no hardware clock'; fi
  drivers=wayland
  renderer="renderer: *; OpenGL [0-9]*; *; SDL video driver wayland"
  display="display: $(printf '%.2f' "$hz") Hz (wl_output); presentation times: wp_presentation ($vsync, $hw)"
  # The verdict the flags imply, judged from them (no "judged from" a tolerance), over the frames after the first.
  vsync_line="^vsync: $verdict, [0-9]+ of [0-9]+ frames missed a refresh \([0-9.]+%\); $lows \(of [0-9]+ presentation intervals\)$"
  latency="^latency: swap to present p50 [0-9.]+ ms, p99 [0-9.]+ ms \($clock\)$"
  stalls=', ([0-9]+) seen as missed refreshes'
else
  drivers='offscreen x11'
  vsync_line="^vsync: unknown; $lows \(of FRAMES frame times\)$"
  stalls=''
fi
glx() { glxinfo -B | sed -n "s/^OpenGL $1 string: //p"; }

for driver in $drivers; do
  # Xvfb's mode has no dot clock and its GLX no OML sync control; the renderer is the one glxinfo names.
  case $driver in
    offscreen) export SDL_VIDEODRIVER=offscreen
      why='the offscreen video driver shows nothing on a display' mode="SDL's offscreen display mode has no refresh rate"
      renderer="renderer: *; OpenGL [0-9]*; *; SDL video driver offscreen" ;;
    x11) e2e_start_xvfb
      why='the GLX server offers no GLX_OML_sync_control' mode="XRandR's mode $E2E_SCREEN has no dot clock"
      renderer="renderer: $(glx renderer); OpenGL $(glx version); $(glx vendor); SDL video driver x11" ;;
  esac
  if [ "$driver" != wayland ]; then
    display="display: refresh rate unknown ($mode); presentation times: not offered ($why)"
    latency="^latency: swap to present unknown \(no presentation times: $why\)$"
  fi

  # Right held by the tool for frames 2-4 and Z for frame 3; at least 8 frames after the first: a busy machine draws
  # fewer in 2 s, so the run is tried again, longer. The program's output file holds an old line, which must go.
  for seconds in 2 10 30; do
    echo 'stale line from an earlier run' >"$dir/program"
    start=$(date +%s%N)
    "$tool" --seconds $seconds --hold right:2-5 --hold z:3-4 --stall 4:50 --png "$dir/p.png" --size 640x360 --csv "$dir/p.csv" \
      --program-output "$dir/program" >"$dir/out" 2>"$dir/err" || fail "exit status $?: $(cat "$dir/err")"
    wall_ms=$((($(date +%s%N) - start) / 1000000))
    [[ $(line 1) =~ ^first\ frame\ ([0-9.]+)\ ms\ \(start-up\),\ then:\ frames\ ([0-9]+),\ mean\ ([0-9.]+)\ fps,\ p50\ [0-9.]+\ ms,\ p95\ [0-9.]+\ ms,\ p99\ [0-9.]+\ ms,\ max\ [0-9.]+\ ms,\ stutters\ [0-9]+$ ]] ||
      fail "expected the summary line, got: $(cat "$dir/out")"
    first=${BASH_REMATCH[1]} frames=${BASH_REMATCH[2]} fps=${BASH_REMATCH[3]}
    [ "$frames" -ge 8 ] && break
  done
  [ "$frames" -ge 8 ] || fail "expected at least 8 frames after the first: $(cat "$dir/out")"
  [ ! -s "$dir/err" ] || fail "expected nothing on stderr after a full run, got: $(cat "$dir/err")"
  [[ $(line 2) == $renderer ]] ||
    fail "expected the renderer line second, got: $(line 2)"
  [[ $(line 3) =~ ^swap\ interval:\ (asked\ 1|not\ asked).*,\ driver\ reports\ -?[0-9]+$ ]] ||
    fail "expected the swap interval line third, got: $(line 3)"
  [ "$(line 4)" = "$display" ] || fail "expected '$display' fourth, got: $(line 4)"
  [[ $(line 5) =~ ${vsync_line/FRAMES/$frames} ]] || fail "expected the vsync line fifth, as '$vsync_line', got: $(line 5)"
  [[ $(line 6) =~ $latency ]] || fail "expected the latency line sixth, as '$latency', got: $(line 6)"
  [[ $(line 7) =~ ^input:\ 4\ key\ changes,\ event\ to\ swap\ return\ p50\ [0-9.]+\ ms,\ p95\ [0-9.]+\ ms,\ max\ [0-9.]+\ ms\ \(set\ by\ the\ tool\ with\ --hold:\ the\ program\'s\ and\ driver\'s\ part\ only\)$ ]] ||
    fail "expected 4 key changes set by the tool seventh, got: $(line 7)"
  planted=$(((frames + 1) / 4))
  [[ $(line 8) =~ ^stalls:\ $planted\ planted$stalls$ ]] || fail "expected 'stalls: $planted planted$stalls' eighth, got: $(line 8)"
  seen=${BASH_REMATCH[1]:-}
  [ "$(wc -l <"$dir/out")" = 8 ] || fail "expected eight lines on stdout, got $(wc -l <"$dir/out")"

  # The program drew the first frame and the N after it, each printing its input line; the old line is gone.
  inputs=$(grep -cE '^-?[0-9]+ -?[0-9]+ -?[0-9]+ -?[0-9]+$' "$dir/program")
  [ $((frames + 1)) = "$inputs" ] || fail "reported the first frame and $frames more; the program printed $inputs input lines"
  ! grep -q stale "$dir/program" || fail "--program-output kept the old file's lines"
  held=$(grep -v fps "$dir/program" | head -n 6 | tr '\n' '|')
  [ "$held" = "0 0 0 0|0 0 0 0|0 1 0 0|0 1 32768 0|0 1 0 0|0 0 0 0|" ] || fail "expected right in frames 2-4, Z in 3, got: $held"
  # Columns: frame,startup,frame_ms,swap_ms,present_ms,refreshes,on_refresh,missed,swap_to_present_ms,stalled,input_ms.
  [ "$(head -n 1 "$dir/p.csv")" = frame,startup,frame_ms,swap_ms,present_ms,refreshes,on_refresh,missed,swap_to_present_ms,stalled,input_ms ] ||
    fail "expected the CSV header, got: $(head -n 1 "$dir/p.csv")"
  [ "$(tail -n +2 "$dir/p.csv" | cut -d, -f1 | tr '\n' ' ')" = "$(seq -s ' ' 0 "$frames") " ] || fail "expected CSV frames 0..$frames"
  awk -v f="$first" -F, '(NR == 2 && !($2 == 1 && ($3 - f) ^ 2 < 0.051 ^ 2)) || (NR > 2 && $2 != 0) { bad = 1 } END { exit bad }' \
    "$dir/p.csv" || fail "expected row 0 alone marked as the start-up, with the reported $first ms: $(sed -n 2,3p "$dir/p.csv")"
  # Frames 3, 7, 11, ... planted, each at least the 50 ms it was held back (the time inside each swap is part of its
  # frame's); with no presentation times nothing is judged. A key set after the previous swap: its latency at most
  # its frame's time.
  [ "$(awk -F, 'NR > 1 && $10 == 1 { printf "%d ", $1 }' "$dir/p.csv")" = "$(seq -s ' ' 3 4 "$frames") " ] ||
    fail "expected stalled frames 3, 7, 11, ... of 0..$frames"
  [ "$(awk -F, 'NR > 1 && $11 != "" { printf "%d ", $1 }' "$dir/p.csv")" = "2 3 4 5 " ] || fail "expected input_ms in frames 2-5"
  awk -F, -v unknown="$([ $driver != wayland ] && echo 1)" 'NR > 1 && ((unknown && $5 $6 $7 $8 $9 != "") ||
    ($10 == 1 && $3 < 50) || $4 < 0 || $4 > $3 || ($11 != "" && ($11 <= 0 || $11 > $3))) { print "FAIL: CSV line " NR ": " $0; bad = 1 }
    END { exit bad }' "$dir/p.csv" >&2 || exit 1
  # All the frame times span at least the time asked, within this script's clock; the mean is over the frames after
  # the first (the lows: test_pacing).
  awk -v n="$frames" -v fps="$fps" -v asked="$seconds" -v wall="$wall_ms" -F, 'NR > 1 { all += $3 } NR > 2 { sum += $3 } END {
    if (all < asked * 1000 || all > wall || (fps - n * 1000 / sum) ^ 2 > 0.051 ^ 2) {
      printf "FAIL: %d frames in %.1f ms (%.1f after the first; %d..%d wanted), reported as %s fps\n", n, all, sum, asked * 1000, wall, fps; exit 1 } }' \
    "$dir/p.csv" >&2 || exit 1
  [ "$(identify -format '%m %w %h' "$dir/p.png")" = "PNG 640 360" ] || fail "expected a 640x360 PNG: $(identify "$dir/p.png" 2>&1)"
  if [ "$driver" = wayland ]; then
    # Every frame after the first presented, on a refresh as the flags say. Swap to present below a second, and not
    # negative unless the swap returned late, after the presentation (a busy machine): never before its call. A
    # presentation interval is the swap interval plus the change in swap to present (both clocks read at the swap's
    # return: within 0.5 ms on 9 frames in 10). Planted frames 45 ms (50 less weston's jitter) and 3 refreshes after
    # the last, unless that one was late (over 1.5 refreshes).
    excused=$(awk -F, -v hz="$hz" -v on="$on" '
      NR > 2 { if ($5 == "" || $6 == "" || $9 == "") { print "FAIL: frame " $1 " has no presentation: " $0 >"/dev/stderr"; bad = 1 }
               if ($7 != on) { print "FAIL: frame " $1 " on_refresh " $7 ", the flags say " on ": " $0 >"/dev/stderr"; bad = 1 }
               d = $5 - ($3 + $9 - last); if (d * d < 0.25) agree++
               present += $5; swaps += $3; if ($3 > longest) longest = $3 }
      NR > 1 && ($9 == "" || $9 < -$4 || $9 >= 1000) { print "FAIL: frame " $1 " swap to present out of [-swap_ms, 1000) ms: " $0 >"/dev/stderr"; bad = 1 }
      NR > 1 && $9 < 0 { early++ }
      NR > 1 && $10 == 1 && ($5 < 45 || $6 < 3) { if (late) excused++; else { print "FAIL: planted frame " $1 " shown too soon: " $0 >"/dev/stderr"; bad = 1 } }
      { late = NR > 2 && $5 > 1500 / hz; last = $9 }
      END { if (present - swaps > 2 * longest || swaps - present > 2 * longest) {
              printf "FAIL: presentation intervals add up to %.1f ms, swap intervals to %.1f\n", present, swaps >"/dev/stderr"; bad = 1 }
            if (agree < 0.9 * (NR - 2)) {
              printf "FAIL: %d of %d presentation intervals agree with the swap interval and swap-to-present change\n", agree, NR - 2 >"/dev/stderr"; bad = 1 }
            if (early > 0) printf "note: %d frames presented before their swap returned\n", early >"/dev/stderr"
            print excused + 0; exit bad }' "$dir/p.csv") || exit 1
    [ "$seen" -ge $((planted - excused)) ] || fail "expected $planted planted stalls, all seen but the $excused shown after a late frame, got: $(line 8)"
    echo "ok: $frames frames at $hz Hz, flags $flags, $(line 6)" >&2
  fi
  echo "ok on $driver: $frames frames after a $first ms first, $fps fps" >&2
done
