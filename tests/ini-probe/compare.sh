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
work=$(mktemp -d /tmp/vlm-ini-diff.XXXXXX)
trap 'rm -rf "$work"' EXIT
# The probes run one after the other; each removes its case directories.
# The Windows probe sees the root as Z:.
winpath() { printf 'Z:%s\\' "$1" | tr / '\\'; }
"$native" "$corpus/" "$work/" > "$work/linux.out" || { echo "linux probe failed"; exit 1; }
"$source/tools/wine-run.sh" "$windows" "$(winpath "$corpus")" "$(winpath "$work")" > "$work/windows.raw" \
  2> "$work/wine.err" ||
  { echo "windows probe failed"; cat "$work/wine.err"; exit 1; }
tr -d '\r' < "$work/windows.raw" > "$work/windows.out"

awk -v known="$corpus/known-differences.txt" '
function show(s) { return length(s) > 160 ? substr(s, 1, 160) "..." : s }
BEGIN {
  while ((getline line < known) > 0) {
    if (line ~ /^#/ || line == "") continue
    split(line, f, " ")
    reason[f[1] ":" f[2]] = substr(line, length(f[1]) + length(f[2]) + 3)
  }
}
FNR == 1 { file++ }
/^case / { c = $2; if (file == 1) cases++; next }
{
  k = c ":" $1
  if (file == 1) { lin[k] = $0; order[++n] = k } else { win[k] = $0; if (!(k in lin)) order[++n] = k }
}
END {
  for (i = 1; i <= n; i++) {
    k = order[i]; w = substr(k, 1, index(k, ":")) "*"
    r = (k in reason) ? reason[k] : (w in reason) ? reason[w] : ""
    if (lin[k] == win[k]) {
      if (k in reason) { print "STALE known difference " k ": both builds agree"; bad++ }
    } else if (r != "") {
      print "known difference " k ": " r; diff++; seen[w] = 1
    } else {
      print "MISMATCH " k; print "  linux:   " show(lin[k]); print "  windows: " show(win[k]); bad++
    }
  }
  for (w in reason)
    if (w ~ /:\*$/ && !(w in seen)) { print "STALE known difference " w ": both builds agree"; bad++ }
  printf "%d cases, %d results compared, %d known differences, %d failures\n", cases, n, diff, bad
  exit bad ? 1 : 0
}' "$work/linux.out" "$work/windows.out"
