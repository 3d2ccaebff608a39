#!/bin/sh
# The event sentences of both builds must be the same: the Linux syslog lines
# (the native probe through ReportEventTo) and the message table of the
# Windows executable (the Windows probe under Wine, through FormatMessageA).
#
#   compare.sh <linux probe> <windows probe .exe> <VlmRefreshSvc.exe> <source dir>
set -u
native=$1 probe=$2 exe=$3 source=$4
for f in "$probe" "$exe"; do
  [ -f "$f" ] || { echo "missing $f: build the windows preset first"; exit 1; }
done
work=$(mktemp -d /tmp/vlm-events.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$native" > "$work/linux.out" || { echo "linux probe failed"; cat "$work/linux.out"; exit 1; }
"$source/tools/wine-run.sh" "$probe" "$exe" > "$work/windows.raw" 2> "$work/wine.err" ||
  { echo "windows probe failed"; cat "$work/windows.raw" "$work/wine.err"; exit 1; }
tr -d '\r' < "$work/windows.raw" > "$work/windows.out"
echo "--- Linux syslog lines / +++ Windows message table"
cat "$work/linux.out"
# Eight events, each with a sentence after its id, the same on both sides.
[ "$(grep -c '^event [0-9]*: .' "$work/linux.out")" -eq 8 ] ||
  { echo "not every event has a sentence on Linux"; exit 1; }
diff -u "$work/linux.out" "$work/windows.out" || { echo "the sentences differ"; exit 1; }
echo "same on both sides"
