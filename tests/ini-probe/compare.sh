#!/bin/sh
# Runs the INI corpus through the Linux probe and through the Windows probe
# under Wine and compares every read result and every file after a write.
# Differences that cannot be avoided are listed, with their reason, in
# known-differences.txt beside the corpus ("<case> <line> <reason>", or
# "<case> * <reason>" for any line of the case); such a line must differ
# (a case named with "*" in at least one line), and is reported, but does
# not fail the test.
#
#   compare.sh <linux probe> <windows probe .exe> <corpus dir> <source dir>
set -u
native=$1 windows=$2 corpus=$3 source=$4
if [ ! -f "$windows" ]; then
  echo "missing $windows: build the windows preset first"
  exit 1
fi
work=$(mktemp -d /tmp/vlm-ini-diff.XXXXXX)
trap 'rm -rf "$work"' EXIT
mkdir "$work/linux" "$work/windows"
"$native" "$corpus" "$work/linux" > "$work/linux.out" || { echo "linux probe failed"; exit 1; }
"$source/tools/wine-run.sh" "$windows" "$corpus" "$work/windows" > "$work/windows.raw" 2> "$work/wine.err" ||
  { echo "windows probe failed"; cat "$work/wine.err"; exit 1; }
tr -d '\r' < "$work/windows.raw" > "$work/windows.out"

awk -v known="$corpus/known-differences.txt" '
function key(line,   f) { split(line, f, " "); return f[1] }
function show(s) { return length(s) > 160 ? substr(s, 1, 160) "..." : s }
BEGIN {
  while ((getline line < known) > 0) {
    if (line ~ /^#/ || line == "") continue
    split(line, f, " "); k = f[1] ":" f[2]
    reason[k] = substr(line, length(f[1]) + length(f[2]) + 3)
  }
}
FNR == 1 { file++ }
/^case / { c = $2; if (file == 1) cases++; next }
{
  k = c ":" key($0)
  if (file == 1) { lin[k] = $0; order[++n] = k } else { win[k] = $0; if (!(k in lin)) order[++n] = k }
}
END {
  bad = 0; diff = 0
  for (i = 1; i <= n; i++) {
    k = order[i]
    if (lin[k] == win[k]) {
      if (k in reason) { print "STALE known difference " k ": both builds agree"; bad++ }
      continue
    }
    if (k in reason) { print "known difference " k ": " reason[k]; diff++; continue }
    w = substr(k, 1, index(k, ":")) "*"
    if (w in reason) { print "known difference " k ": " reason[w]; diff++; seen[w] = 1; continue }
    print "MISMATCH " k; print "  linux:   " show(lin[k]); print "  windows: " show(win[k]); bad++
  }
  for (w in reason)
    if (w ~ /:\*$/ && !(w in seen)) { print "STALE known difference " w ": both builds agree"; bad++ }
  printf "%d cases, %d results compared, %d known differences, %d failures\n", cases, n, diff, bad
  exit bad ? 1 : 0
}' "$work/linux.out" "$work/windows.out"
