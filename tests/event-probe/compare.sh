#!/bin/sh
# The event sentences of both builds must be the same: the Linux syslog lines
# (the native probe through ReportEventTo) and the message table of the
# Windows executable (the Windows probe under Wine, through FormatMessageA).
#
#   compare.sh <linux probe> <windows probe .exe> <VlmRefreshSvc.exe> <source dir>
set -u
native=$1 probe=$2 exe=$3 source=$4
[ -f "$probe" ] && [ -f "$exe" ] || { echo "missing $probe or $exe: build the windows preset first"; exit 1; }
work=$(mktemp -d /tmp/vlm-events.XXXXXX)
trap 'rm -rf "$work"' EXIT
"$native" > "$work/linux.out" || { echo "linux probe failed"; cat "$work/linux.out"; exit 1; }
"$source/tools/wine-run.sh" "$probe" "$exe" 2> "$work/wine.err" | tr -d '\r' > "$work/windows.out"
echo "--- Linux syslog lines / +++ Windows message table"
cat "$work/linux.out"
# Nine events, each with a sentence after its id, the same on both sides
# (a failed Windows probe shows as a difference, with Wine's messages).
[ "$(grep -c '^event [0-9]*: .' "$work/linux.out")" -eq 9 ] ||
  { echo "not every event has a sentence on Linux"; exit 1; }
diff -u "$work/linux.out" "$work/windows.out" || { echo "the sentences differ"; cat "$work/wine.err"; exit 1; }
echo "same on both sides"
