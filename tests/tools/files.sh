#!/usr/bin/env bash
# How both tools treat what they are given, offscreen: each kind of destination for brimvalk-snapshot's
# --out and brimvalk-pacing's --csv (a regular file replaced whole keeping its mode, a new file with
# the umask's mode, a link's target, a FIFO, device nodes and /dev/stdout written in place and kept),
# numbers that are not plain decimals or out of range refused with status 2 before anything runs, the
# help, and a polite signal at start-up ending a run with whole files or none.
set -u -o pipefail
snapshot=$(realpath "${1:?usage: files.sh path/to/brimvalk-snapshot path/to/brimvalk-pacing}") || exit 1
pacing=$(realpath "${2:?usage: files.sh path/to/brimvalk-snapshot path/to/brimvalk-pacing}") || exit 1
dir=$(mktemp -d "${TMPDIR:-/tmp}/brimvalk-files.XXXXXX") || exit 1
reader=''
trap '[ -n "$reader" ] && kill "$reader" 2>/dev/null; rm -rf "$dir"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }
export SDL_VIDEODRIVER=offscreen
umask 022

# run TOOL DEST: one short run of TOOL writing DEST, its stdout in $dir/out and stderr in $dir/err.
run() {
  case $1 in
    snapshot) "$snapshot" --frames 2 --out "$2" ;;
    pacing) "$pacing" --seconds 0.1 --csv "$2" ;;
  esac >"$dir/out" 2>"$dir/err"
}

# written TOOL FILE: FILE holds what TOOL writes, as an independent reader sees it.
written() {
  case $1 in
    snapshot) [ "$(identify -format '%m %w %h' "$2" 2>/dev/null)" = "PNG 1024 768" ] ;;
    pacing) grep -qx 'frame,frame_ms' "$2" && grep -qE '^0,[0-9]+\.[0-9]{3}$' "$2" ;;
  esac
}

# Destinations, made afresh in $dir/d for each tool; device nodes only as root, who may make them.
[ "$(id -u)" = 0 ] && devices=yes || devices=''
while IFS='|' read -r kind; do
  for tool in snapshot pacing; do
    rm -rf "$dir/d" && mkdir "$dir/d" && cd "$dir/d" || fail "cannot make $dir/d"
    status_wanted=0 dest=target
    case $kind in
      new) ;;
      regular-0600) echo old >target && chmod 600 target ;;
      link) echo old >file && chmod 640 file && ln -s file target ;;
      fifo) mkfifo target && { cat target >captured & reader=$!; } ;;
      null-device) [ -n "$devices" ] || continue; mknod target c 1 3 ;;
      full-device) [ -n "$devices" ] || continue; mknod target c 1 7; status_wanted=1 ;;
      stdout) dest=/dev/stdout ;;
    esac
    if [ "$kind" = stdout ]; then run "$tool" "$dest" && cp "$dir/out" captured; else run "$tool" "$dest"; fi
    status=$?
    [ "$status" = "$status_wanted" ] || fail "$tool onto a $kind: expected status $status_wanted, got $status: $(cat "$dir/err")"
    # The reader ends when the tool closes the FIFO; one that was replaced would hold it forever.
    if [ -n "$reader" ]; then
      [ -p target ] || fail "$tool onto a FIFO: expected it kept, got $(stat -c %F target)"
      wait "$reader"
      reader=''
    fi
    case $kind in
      new) written "$tool" target && [ "$(stat -c %a target)" = 644 ] ||
             fail "$tool onto a new path: expected a whole file of mode 644 under umask 022, got mode $(stat -c %a target)" ;;
      regular-0600) written "$tool" target && [ "$(stat -c %a target)" = 600 ] ||
             fail "$tool onto a file of mode 600: expected it replaced whole with its mode kept, got mode $(stat -c %a target)" ;;
      link) [ -L target ] && [ "$(readlink target)" = file ] && written "$tool" file && [ "$(stat -c %a file)" = 640 ] ||
             fail "$tool onto a link: expected the link kept and its target replaced whole, mode 640 kept; got $(ls -l)" ;;
      fifo) written "$tool" captured || fail "$tool onto a FIFO: expected its reader given the whole file" ;;
      null-device | full-device)
        want=$([ "$kind" = null-device ] && echo 1,3 || echo 1,7)
        [ "$(stat -c '%F %t,%T' target)" = "character special file $want" ] ||
          fail "$tool onto a $kind: expected the device node kept, got $(stat -c '%F %t,%T' target)" ;;
      stdout) written "$tool" captured || fail "$tool onto /dev/stdout: expected the whole file on standard output" ;;
    esac
    if [ "$kind" = full-device ]; then
      grep -q "cannot write target: No space left on device" "$dir/err" || fail "$tool onto a full device: expected why, got: $(cat "$dir/err")"
    fi
    if [ "$tool" = pacing ] && [ "$kind" = stdout ]; then
      grep -q '^frames [0-9]*, mean' captured || fail "pacing onto /dev/stdout: expected its summary kept beside the CSV, got: $(head -n 3 captured)"
    fi
    left=$(find "$dir/d" -name '*partial*')
    [ -z "$left" ] || fail "$tool onto a $kind: left $left"
  done
done <<'KINDS'
new
regular-0600
link
fifo
null-device
full-device
stdout
KINDS

# Numbers: decimal digits only, within their limits, and each file named once; status 2, a reason, and
# nothing written. TOOL|ARGUMENTS (as the shell reads them)|REASON
mkdir "$dir/bad" && cd "$dir/bad" || fail "cannot make $dir/bad"
while IFS='|' read -r tool args reason; do
  eval "set -- $args"
  # A number taken by mistake would start a long run: the time-out ends it (status 124).
  timeout 20 "$([ "$tool" = snapshot ] && echo "$snapshot" || echo "$pacing")" "$@" >"$dir/out" 2>"$dir/err"
  status=$?
  [ "$status" = 2 ] || fail "$tool $args: expected exit status 2, got $status"
  grep -qF -- "$reason" "$dir/err" || fail "$tool $args: expected '$reason' on stderr, got: $(cat "$dir/err")"
  [ -z "$(ls -A)" ] || fail "$tool $args: left files behind: $(ls -A)"
done <<'CASES'
pacing|--seconds 0x10|--seconds wants
pacing|--seconds " 1"|--seconds wants
pacing|--seconds "1 "|--seconds wants
pacing|--seconds inf|--seconds wants
pacing|--seconds 3600.001|at most 3600
pacing|--hold up:99999999999999999999|cannot read --hold
pacing|--hold up:+5|cannot read --hold
pacing|--size 8193x600 --png p.png|--size wants
pacing|--size 640x99999999999999999999 --png p.png|--size wants
pacing|--size " 640x360" --png p.png|--size wants
pacing|--csv a --png a|--png and --csv name one file
pacing|--csv a --png ./a|--png and --csv name one file
pacing|--csv a --program-output ../bad/a|--csv and --program-output name one file
snapshot|--frames 99999999999999999999|--frames wants
snapshot|--frames 0x10|--frames wants
snapshot|--frames " 5"|--frames wants
snapshot|--frames -5|--frames wants
snapshot|--hold right:0-0x10|cannot read --hold
snapshot|--out|incomplete option
CASES

for tool in "$snapshot" "$pacing"; do
  "$tool" --help >"$dir/out" 2>"$dir/err" || fail "$tool --help: expected exit status 0, got $?"
  grep -q "^usage: $(basename "$tool") " "$dir/out" || fail "$tool --help: expected its usage on stdout"
done

# SIGTERM as soon as the run has begun (the program's output opened, before its window): the run
# ends at once, with status 0, and each file is whole or absent, with no temporary file beside it.
mkdir "$dir/signal" && cd "$dir/signal" || fail "cannot make $dir/signal"
"$pacing" --seconds 60 --csv c.csv --png p.png --program-output program >"$dir/out" 2>"$dir/err" &
pid=$!
for _ in $(seq 1000); do [ -e program ] && break; kill -0 "$pid" 2>/dev/null || break; sleep 0.01; done
kill -TERM "$pid" || fail "pacing ended before its run began: $(cat "$dir/err")"
wait "$pid"
status=$?
[ "$status" = 0 ] || fail "pacing with SIGTERM at start-up: expected exit status 0, got $status: $(cat "$dir/err")"
[ -z "$(find . -name '*partial*')" ] || fail "pacing with SIGTERM at start-up left $(find . -name '*partial*')"
{ [ ! -e c.csv ] || [ "$(head -n 1 c.csv)" = frame,frame_ms ]; } && { [ ! -e p.png ] || identify p.png >/dev/null 2>&1; } ||
  fail "pacing with SIGTERM at start-up: expected whole files or none"
echo "ok" >&2
