#!/bin/bash
# Starts the Linux executable and the Windows executable (under Wine), each
# copied into an empty directory, and checks the config.ini they create:
# notice, section, the fourteen defaults in order, CR LF, code page 936, both
# files the same apart from SetupTime; a second start changes nothing; an
# existing empty config.ini stays empty; a directory named config.ini does not
# stop the start.
#
#   first-start.sh <linux executable> <windows executable> <source dir>
set -u
linux_exe=$1 windows_exe=$2 source=$(cd "$3" && pwd)
work=$(mktemp -d /tmp/vlm-first-start.XXXXXX)
trap 'rm -rf "$work"' EXIT
# shellcheck source=tests/support/checks.sh
. "$source/tests/support/checks.sh"

# The file as it must be, with SetupTime left out.
expected() {
  # ";Velmora提示：请勿手动修改以下信息！"
  printf ';Velmora\xcc\xe1\xca\xbe\xa3\xba\xc7\xeb\xce\xf0\xca\xd6\xb6\xaf\xd0\xde\xb8\xc4\xd2\xd4'
  printf '\xcf\xc2\xd0\xc5\xcf\xa2\xa3\xa1\r\n'
  printf '[VlmWebRefresh]\r\n'
  # "Velmora·网页定时刷新工具"
  printf 'SoftDes=Velmora\xa1\xa4\xcd\xf8\xd2\xb3\xb6\xa8\xca\xb1\xcb\xa2\xd0\xc2\xb9\xa4\xbe\xdf\r\n'
  printf 'SoftVer=1.0.0\r\nSetupTime=*\r\nSoftOn=1\r\nAutoStart=1\r\nLastStart=\r\n'
  printf 'FirstStart=\r\nUrl=\r\nTimeStartFrom=0\r\nTimeMinute=0\r\nTimeSecond=0\r\n'
  printf 'TimeSecond2=5\r\nLocalDns=0\r\nLog=1\r\n'
}
expected > "$work/expected"

# start <build> <dir> <which start>: runs that build's executable in the
# directory; its exit code must be 0. Every start makes config.ini, whatever
# its option; -v is used because a start without option waits about 10 s in
# Wine's service dispatcher before it fails.
start() {
  if [ "$1" = linux ]; then
    (cd "$2" && VLM_SYSTEM_ROOT="$work" ./VlmRefreshSvc -v)
  else
    (cd "$2" && "$source/tools/wine-run.sh" ./VlmRefreshSvc.exe -v)
  fi > /dev/null 2>&1 || fail "$1: $3: exit code $?"
}

# setup <build> <name>: $dir, a fresh directory holding only the executable.
setup() {
  dir="$work/$1-$2"
  mkdir "$dir"
  if [ "$1" = linux ]; then cp "$linux_exe" "$dir/"; else cp "$windows_exe" "$dir/"; fi
}

for build in linux windows; do
  setup $build first
  start $build "$dir" "first start"
  ini="$dir/config.ini"
  if [ ! -f "$ini" ]; then fail "$build: no config.ini"; continue; fi
  stamp=$(grep -a '^SetupTime=' "$ini" | tr -d '\r' | cut -d= -f2)
  [[ "$stamp" =~ ^[0-9]{4}-[0-9]{2}-[0-9]{2}\ [0-9]{2}:[0-9]{2}:[0-9]{2}$ ]] ||
    fail "$build: SetupTime '$stamp' is no date-time text"
  sed 's/^SetupTime=.*\r$/SetupTime=*\r/' "$ini" > "$work/$build.masked"
  cmp -s "$work/$build.masked" "$work/expected" || {
    fail "$build: config.ini differs from the expected defaults"
    od -c "$ini" | head -20
  }
  cp "$ini" "$work/$build.before"
  mtime=$(stat -c %Y "$ini")
  sleep 1  # a rewrite would show in the time as well as in the bytes
  start $build "$dir" "second start"
  cmp -s "$ini" "$work/$build.before" || fail "$build: second start changed config.ini"
  [ "$(stat -c %Y "$ini")" = "$mtime" ] || fail "$build: second start rewrote config.ini"

  setup $build empty
  : > "$dir/config.ini"
  start $build "$dir" "start with an empty config.ini"
  [ -f "$dir/config.ini" ] && [ ! -s "$dir/config.ini" ] || fail "$build: empty config.ini was filled"

  setup $build directory
  mkdir "$dir/config.ini"
  start $build "$dir" "start with a directory config.ini"
  [ -d "$dir/config.ini" ] || fail "$build: the directory config.ini is gone"
done
if [ -f "$work/linux.masked" ] && [ -f "$work/windows.masked" ]; then
  cmp -s "$work/linux.masked" "$work/windows.masked" ||
    fail "the two builds' config.ini differ beyond SetupTime"
fi
checks_result
