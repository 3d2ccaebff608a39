#!/bin/sh
# The event sentences of both builds must be the same, in both languages: the
# Linux syslog lines (the native probe through ReportEventTo, in an English
# and in a Simplified Chinese locale) and the message table of the Windows
# executable (the Windows probe under Wine, through FormatMessageW, asked for
# English, for Chinese, and for the language Windows picks by itself:
# Chinese in a Chinese locale, English in a German one; in both locales the
# Chinese text reads right, whatever the ANSI code page).
#
#   compare.sh <linux probe> <windows probe .exe> <VlmRefreshSvc.exe> <source dir>
set -u
# Byte-wise character classes below; each probe gets its locale itself.
export LC_ALL=C
native=$1 probe=$2 exe=$3 source=$4
work=$(mktemp -d /tmp/vlm-events.XXXXXX)
trap 'rm -rf "$work"' EXIT
{ env -u LC_ALL -u LC_MESSAGES LANG=C "$native" en && env -u LC_ALL LC_MESSAGES=zh_CN.UTF-8 LANG=C "$native" zh; } \
  > "$work/linux.out" || { echo "linux probe failed"; cat "$work/linux.out"; exit 1; }
{ "$source/tools/wine-run.sh" "$probe" "$exe" && VLM_WINE_LANG=de_DE.UTF-8 "$source/tools/wine-run.sh" "$probe" "$exe"; } \
  2> "$work/wine.err" | tr -d '\r' > "$work/windows.out"
linux() { cat "$work/linux.out"; sed -n "s/^$1 /default /p" "$work/linux.out"; }
{ linux zh; linux en; } > "$work/expected.out"
echo "--- Linux syslog lines / +++ Windows message table"
cat "$work/linux.out"
# Every message of the .mc file has a sentence in each language on Linux, the
# Chinese one not in ASCII alone (a failed Windows probe shows as a
# difference, with Wine's messages).
n=$(grep -c '^MessageId=' "$source/service/EventMessages.mc")
[ "$(grep -c '^en event [0-9]*: [ -~]*$' "$work/linux.out")" -eq "$n" ] &&
  [ "$(grep -c '^zh event [0-9]*: .*[^ -~]' "$work/linux.out")" -eq "$n" ] ||
  { echo "not every one of the $n events has an English and a Chinese sentence on Linux"; exit 1; }
diff -u "$work/expected.out" "$work/windows.out" || { echo "the sentences differ"; cat "$work/wine.err"; exit 1; }
echo "same on both sides"
