#!/usr/bin/env bash
# Writes a tool's manual page, compressed, from its --help and --version (help2man), with the
# name line and the sections its --help has no room for taken from INCLUDE. The page is dated
# by the newest entry of CHANGELOG, so the same sources give the same page.
# Usage: man/tool-page.sh TOOL INCLUDE CHANGELOG OUT.1.gz
set -euo pipefail
tool=$(realpath "$1") include=$2 changelog=$3 out=$4
scratch=$(mktemp -d "${TMPDIR:-/tmp}/brimvalk-man.XXXXXX")
trap 'rm -rf "$scratch"' EXIT

# What help2man reads: the usage on one line starting "Usage:" (the tools start it "usage:" and
# wrap it); indented lines before the options apart and with single spaces, or help2man would
# fill them into one paragraph or read a wide gap as an option's; and "Options:" over the options, which end at the first blank line, where --help
# and --version, which both tools take, join them.
cat >"$scratch/help.awk" <<'AWK'
NR == 1 && sub(/^usage:/, "Usage:") { usage = $0; next }
usage != "" && /^ +\[/ { sub(/^ +/, " "); usage = usage $0; next }
usage != "" { print usage; usage = "" }
options == 0 && /^  --/ { print "Options:"; options = 1 }
options == 0 && /^  [^ -]/ { if (previous ~ /^  [^ -]/) print ""; previous = $0; gsub(/   */, " "); print " " $0; next }
{ previous = $0 }
options == 1 && /^$/ { ends_options(); options = 2 }
{ print }
END { if (usage != "") print usage; if (options == 1) ends_options() }
function ends_options() {
  print "  --help, -h           print the options and exit"
  print "  --version            print the tool's name and version and exit"
}
AWK
# help2man runs the tool through this wrapper, which bears the tool's name.
wrapper=$scratch/$(basename "$tool")
printf '#!/usr/bin/env bash\nset -o pipefail\n"%s" "$@" | awk -f "%s"\n' "$tool" "$scratch/help.awk" >"$wrapper"
chmod +x "$wrapper"

date=$(sed -n 's/^ -- .*>  //p' "$changelog" | head -n 1)
SOURCE_DATE_EPOCH=$(date -d "$date" +%s) help2man --no-info --include="$include" --output="$scratch/page.1" "$wrapper"
gzip -9n <"$scratch/page.1" >"$out.partial"
mv "$out.partial" "$out"
