#!/usr/bin/env bash
# Both tools offscreen: each kind of destination, refused arguments, the help and the version, and
# SIGTERM at start-up.
. "$(dirname "$0")/../e2e/lib.sh"
e2e_setup "${1:-}" identify
snapshot=$(realpath "$1") pacing=$(realpath "${2:?usage: files.sh SNAPSHOT PACING}") dir=$e2e_dir reader=''
cmake_lists=$(realpath "$(dirname "$0")/../../CMakeLists.txt")
# A directory on another filesystem than this one and /tmp, where a file must be made to be renamed into place.
shm=$(mktemp -d /dev/shm/brimvalk-files.XXXXXX 2>/dev/null)
[ -n "$shm" ] && [ "$(stat -c %d "$shm")" = "$(stat -c %d "$dir")" ] && rmdir "$shm" && shm=''
trap '[ -n "$reader" ] && kill "$reader" 2>/dev/null; [ -n "$shm" ] && rm -rf "$shm"; e2e_cleanup' EXIT
export SDL_VIDEODRIVER=offscreen
umask 022
header=frame,startup,frame_ms,swap_ms,present_ms,refreshes,on_refresh,missed,swap_to_present_ms,stalled,input_ms

# written FILE: FILE holds what $tool writes, as an independent reader sees it: the PNG the right way up, with the
# title in the bottom-left corner as the program's window shows it (e2e/geometry.sh).
written() {
  case $tool in
    snapshot) [ "$(identify -format '%m %w %h' "$1" 2>/dev/null)" = "PNG 1024 768" ] &&
      convert "$1" -crop 200x24+0+744 +repage -fx 'r > 0.35 && b > 0.35 && g < 0.3' -format '%[fx:mean]' info: |
      awk '{ exit !($1 > 0.05) }' ;;
    pacing) grep -qx "$header" "$1" && grep -qE '^0,1,[0-9]+\.[0-9]{3},' "$1" ;;
  esac
}
node() { [ "$(stat -c '%F %t,%T' target)" = "character special file $1" ]; }

# Device nodes and other owners only as root. A FIFO's reader ends when the tool closes it; a FIFO replaced would hold
# it forever. TOOLS|KIND|SET-UP|STATUS|CHECK: both tools where each could open the path its own way, else one. SET-UP
# may name another DEST, run the tool under a LIMIT, have pacing write DEST `as` its --png, give it EXTRA arguments
# and the file they MAKE; nothing else may appear (a temporary file left behind).
while IFS='|' read -r tools kind setup wanted check; do
  [[ ($kind == *device || $kind == *"(root)") && $(id -u) != 0 ]] && continue
  [[ $kind == *filesystem && -z $shm ]] && continue
  for tool in $tools; do
    rm -rf "$dir/d" && mkdir "$dir/d" && cd "$dir/d" || fail "cannot make $dir/d"
    dest=target as=--csv limit='' extra='' make=''
    eval "$setup"
    before=$(find . | sort)
    case $tool in
      snapshot) $limit "$snapshot" --frames 2 --out "$dest" ;;
      pacing) $limit "$pacing" --seconds 0.1 $as "$dest" $extra ;;
    esac >"$dir/out" 2>"$dir/err"
    status=$?
    [ "$dest" = target ] || cp "$dir/out" captured
    [ "$status" = "$wanted" ] || fail "$tool onto a $kind: expected status $wanted, got $status: $(cat "$dir/err")"
    [ "$tool" != pacing ] || [ "$status" != 0 ] || [ ! -s "$dir/err" ] ||
      fail "pacing onto a $kind: expected nothing on stderr, got: $(cat "$dir/err")"
    eval "$check" ||
      fail "$tool onto a $kind: expected $check; got $(ls -l | tail -n +2 | tr -s ' \n' ' '): $(cat "$dir/err")"
    reader=''
    stray=$(comm -13 <(echo "$before") <(find . | sort) | grep -vxF -e "./$dest" -e ./captured -e "./$make")
    [ -z "$stray" ] || fail "$tool onto a $kind: expected nothing beside what it was asked to write, got: $stray"
  done
done <<'KINDS'
pacing|new path||0|written target && [ "$(stat -c %a target)" = 644 ]
pacing|second new path|extra='--png p.png' make=p.png|0|written target && [ "$(stat -c %a target p.png | tr '\n' ' ')" = '644 644 ' ]
snapshot|file of mode 600|echo old >target; chmod 600 target|0|written target && [ "$(stat -c %a target)" = 600 ]
snapshot pacing|file of another owner (root)|echo old >target; chown 1234:5678 target|0|written target && [ "$(stat -c %u:%g target)" = 1234:5678 ]
snapshot pacing|link|echo old >file; chmod 640 file; ln -s file target|0|[ "$(readlink target)" = file ] && written file && [ "$(stat -c %a file)" = 640 ]
snapshot pacing|relative link in another directory|mkdir sub; echo old >sub/file; ln -s file sub/target; dest=sub/target|0|[ "$(readlink sub/target)" = file ] && written sub/file && [ ! -e file ]
snapshot pacing|file on another filesystem|rm -rf "${shm:?}"/*; dest=$shm/target|0|written "$shm/target" && [ "$(ls -A "$shm")" = target ]
snapshot pacing|file at a file-size limit|echo old >target; limit='prlimit --fsize=4096 --' as=--png|1|[ "$(cat target)" = old ] && grep -q "cannot write target: File too large" "$dir/err"
pacing|FIFO|mkfifo target; cat target >captured & reader=$!|0|[ -p target ] && wait "$reader" && written captured
snapshot|FIFO whose reader leaves|mkfifo target; dd bs=1 count=1 <target >/dev/null 2>&1 & reader=$!|1|[ -p target ] && grep -q "cannot write target: Broken pipe" "$dir/err"
snapshot|null device|mknod target c 1 3|0|node 1,3
snapshot pacing|full device|mknod target c 1 7|1|node 1,7 && grep -q "cannot write target: No space left on device" "$dir/err"
snapshot pacing|/dev/stdout|dest=/dev/stdout|0|written captured && { [ $tool = snapshot ] || grep -q '^first frame [0-9.]* ms (start-up), then: frames [0-9]*, mean' captured; }
KINDS

# The keys held on the frames asked, as the program's own input lines show them: right held on frames 2 and 3 of 0-5.
"$snapshot" --verbose --frames 6 --hold right:2-4 --out /dev/null >"$dir/out" 2>"$dir/err" ||
  fail "snapshot --hold right:2-4: exit status $?: $(cat "$dir/err")"
held=$(grep -v fps "$dir/out" | grep -nx '0 1 0 0' | cut -d: -f1 | tr '\n' ' ')
[ "$held" = "3 4 " ] && [ "$(grep -cv fps "$dir/out")" = 6 ] ||
  fail "snapshot --hold right:2-4: expected the right arrow in input lines 3 and 4 of 6, got lines '$held' of $(grep -cv fps "$dir/out")"

# Status 2, a reason, nothing written. TOOL|ARGUMENTS (as the shell reads them)|REASON
mkdir "$dir/bad" && cd "$dir/bad" || fail "cannot make $dir/bad"
while IFS='|' read -r tool args reason; do
  eval "set -- $args"
  # A number taken by mistake would start a long run: the time-out ends it (status 124).
  timeout 20 "$([ "$tool" = snapshot ] && echo "$snapshot" || echo "$pacing")" "$@" >"$dir/out" 2>"$dir/err"
  status=$?
  [ "$status" = 2 ] || fail "$tool $args: expected exit status 2, got $status"
  grep -qF -- "$reason" "$dir/err" || fail "$tool $args: expected '$reason' on stderr, got: $(cat "$dir/err")"
  [ -z "$(ls -A)" ] && [ ! -s "$dir/out" ] || fail "$tool $args: left output or files behind: $(ls -A; cat "$dir/out")"
done <<'CASES'
pacing|--seconds 0|--seconds wants a number above 0
pacing|--seconds -1.5|"-1.5"
pacing|--seconds|incomplete option "--seconds"
pacing|--size 100x100 --png p.png|--size wants
pacing|--png /nonexistent/p.png|cannot write /nonexistent/p.png
pacing|--png "$dir"|it is a directory
pacing|--png p.png --csv /nonexistent/p.csv|cannot write /nonexistent/p.csv
pacing|--png p.png --program-output /nonexistent/out|cannot write /nonexistent/out
pacing|--stall 1:10|--stall wants EVERY:MS
pacing|--stall 5|"5"
pacing|--stall 5:1001|--stall wants
pacing|--seconds 0x10|--seconds wants
pacing|--seconds 3600.001|at most 3600
pacing|--seconds 3600 --size 100x100 --png p.png|--size wants
pacing|--hold up:+5|cannot read --hold
pacing|--hold q:5|cannot read --hold
pacing|--size 8193x600 --png p.png|--size wants
pacing|--size 600x8193 --png p.png|--size wants
pacing|--csv ''|--csv wants a file name
pacing|--csv a --png ./a|--png and --csv name one file
pacing|--csv a --program-output ../bad/a|--csv and --program-output name one file
snapshot|--frames 99999999999999999999|--frames wants
snapshot|--frames 0x10|--frames wants
snapshot|--out|incomplete option
snapshot|--out ""|no file name
snapshot|--out /nonexistent/s.png|cannot write /nonexistent/s.png
CASES

# --version: the name and the project's version, as the manual pages show them.
version=$(sed -n 's/^project(BrimvalkTest VERSION \([0-9.]*\).*/\1/p' "$cmake_lists")
for tool in "$snapshot" "$pacing"; do
  "$tool" --help >"$dir/out" 2>"$dir/err" || fail "$tool --help: expected exit status 0, got $?"
  grep -q "^usage: $(basename "$tool") " "$dir/out" || fail "$tool --help: expected its usage on stdout"
  "$tool" --version >"$dir/out" 2>"$dir/err" || fail "$tool --version: expected exit status 0, got $?"
  [ "$(cat "$dir/out")" = "$(basename "$tool") $version" ] && [ ! -s "$dir/err" ] ||
    fail "$tool --version: expected \"$(basename "$tool") $version\" alone, got: $(cat "$dir/out" "$dir/err")"
done

# SIGTERM once the program's output is open, before its window: status 0, each file whole (of no frame) or absent.
mkdir "$dir/signal" && cd "$dir/signal" || fail "cannot make $dir/signal"
"$pacing" --seconds 60 --csv c.csv --png p.png --program-output program >"$dir/stdout" 2>"$dir/stderr" &
e2e_pid=$!
until [ -e program ] || ! kill -0 "$e2e_pid" 2>/dev/null; do sleep 0.01; done
kill -TERM "$e2e_pid"
e2e_expect_exit "pacing with SIGTERM at start-up"
[ -z "$(ls -A | grep -vx -e program -e c.csv -e p.png)" ] && { [ ! -e c.csv ] || [ "$(head -n 1 c.csv)" = "$header" ]; } &&
  { [ ! -e p.png ] || identify p.png >/dev/null 2>&1; } || fail "pacing with SIGTERM at start-up: expected whole files or none: $(ls)"
echo "ok" >&2
