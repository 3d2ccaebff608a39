#!/bin/bash
# A stop at every moment of a run, on the real executable run as -f against
# the loopback page server (--numbered; HTTPS natively, HTTP under Wine,
# which does not take the test CA): before a request, during a slow head,
# during half a body, right after a run, and in the tail of an hourly run.
# Every line of cache.txt and the day's log must be an answer the server sent
# whole (its number at both ends, all eight lines, and the server's "sent
# whole" line); a run cut short by the stop leaves one note in system.log;
# every stop ends with exit code 0 (a sanitizer report makes it fail) in less
# than the 1 s the worker is given before its forced end, so the worker left
# by itself, well within a stop's bound of 2 s. Each duration is printed.
#
#   StopTest.sh native EXECUTABLE PAGE_SERVER   (stopped by SIGTERM)
#   StopTest.sh wine EXECUTABLE PAGE_SERVER     (under Wine, stopped by Ctrl+C)
set -u
mode=$1 pageserver=$3
src=$(cd "$(dirname "$0")/../.." && pwd)
# shellcheck source=tests/support/checks.sh
. "$src/tests/support/checks.sh"
work=$(mktemp -d /tmp/vlm-stop.XXXXXX)
export VLM_WINEPREFIX="${VLM_WINEPREFIX:-$src/build/wineprefix}/vlm-stop-test" VLM_SYSTEM_ROOT=$work/root
server_pid="" svc_pid=""
cleanup() {
  for pid in $svc_pid $server_pid; do kill -KILL "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
  [ "$mode" = wine ] && WINEPREFIX="$VLM_WINEPREFIX" wineserver -k 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
if [ "$mode" = wine ]; then mkdir -p "$VLM_WINEPREFIX" && WINEPREFIX="$VLM_WINEPREFIX" wineserver -p; fi
cp "$2" "$work/"
exe="$work/$(basename "$2")"
tls=() && [ "$mode" = native ] && tls=(--tls "$work") && export SSL_CERT_FILE=$work/ca.pem
"$pageserver" --numbered 8000 --seconds 600 --port-file "$work/url" "${tls[@]}" 2>"$work/server.log" &
server_pid=$!
wait_for 50 test -s "$work/url" || fail "no page server"
base=$(cat "$work/url") log=$work/log
# "服务停止，本次刷新中断，未记录结果。", the note of a run cut short.
note=$'\xb7\xfe\xce\xf1\xcd\xa3\xd6\xb9\xa3\xac\xb1\xbe\xb4\xce\xcb\xa2\xd0\xc2\xd6\xd0\xb6\xcf'
notes() { cat "$log/system.log" 2>/dev/null | grep -ac "$note"; }
# settings KEY=VALUE...: config.ini holds the switch, the daily log, a page
# of the server (Url=/PATH, / when none is given) and these, written beside
# it and renamed.
settings() {
  local url=/ kv lines=""
  for kv in "$@"; do case $kv in Url=*) url=${kv#Url=} ;; *) lines+=$kv$'\r\n' ;; esac; done
  printf '[VlmWebRefresh]\r\nSoftOn=1\r\nLog=1\r\nUrl=%s\r\n%s' "${base%/}$url" "$lines" >"$work/new.ini"
  mv "$work/new.ini" "$work/config.ini"
}
# new_record TENTHS: waits until cache.txt holds another record than before.
new_record() { local old; old=$(cat "$log/cache.txt" 2>/dev/null); wait_for "$1" eval '[ "$(cat "$log/cache.txt" 2>/dev/null)" != "$old" ]'; }
requested() { tail -n +"$seen" "$work/server.log" | grep -q "GET $1?"; }
# hourly: the hourly timetable, due three seconds from now.
hourly() {
  local due=$(((10#$(date +%M) * 60 + 10#$(date +%S) + 3) % 3600))
  settings TimeStartFrom=1 TimeMinute=$((due / 60)) TimeSecond=$((due % 60))
}

# What comes after the first record of a fresh start | what is waited for,
# then how many tenths of a second more | notes of a cut run it leaves.
while IFS='|' read -r name change trigger cut; do
  settings TimeSecond2=3600
  if [ "$mode" = wine ]; then "$src/tools/wine-run.sh" "$exe" -f >"$work/out" 2>&1 & else "$exe" -f >"$work/out" 2>&1 & fi
  svc_pid=$!
  new_record 300 || fail "$name: no first record: $(tail -c 300 "$work/out" "$log/system.log")"
  seen=$(($(wc -l <"$work/server.log") + 1)) notes_before=$(notes)
  eval "$change"
  read -r what arg tenths <<<"$trigger"
  if [ "$what" = record ]; then new_record 80; else wait_for 80 requested "$arg"; fi || fail "$name: $trigger not seen"
  sleep "$((tenths / 10)).$((tenths % 10))"
  (sleep 5 && kill -KILL "$svc_pid" 2>/dev/null) & watchdog=$!
  t0=$(date +%s%N)
  kill -s "$([ "$mode" = wine ] && echo INT || echo TERM)" "$svc_pid"
  wait "$svc_pid"
  rc=$? ms=$((($(date +%s%N) - t0) / 1000000))
  kill "$watchdog" 2>/dev/null
  check "$name: ended in $ms ms, within the worker's 1 s grace, exit code $rc" [ "$ms" -lt 1000 -a "$rc" = 0 ] || cat "$work/out"
  check "$name: $cut note(s) of a cut run, $(notes) in all" [ "$(notes)" = $((notes_before + cut)) ]
done <<'EOT'
before its request|settings TimeSecond2=1|record - 5|0
during a slow head|settings TimeSecond2=1 Url=/slow-head|request /slow-head 3|1
during half a body|settings TimeSecond2=1 Url=/half-body|request /half-body 3|1
right after a run|settings TimeSecond2=3|record - 0|0
in the hourly tail|hourly|record - 0|0
EOT

# Every record is an answer that went out whole.
records=0
while IFS= read -r line || [ -n "$line" ]; do
  records=$((records + 1))
  [[ "$line" =~ ^[0-9-]{10}\ [0-9:]{8}\ 200\ answer([0-9]+)(line){8}end([0-9]+)$ ]] &&
    [ "${BASH_REMATCH[1]}" = "${BASH_REMATCH[3]}" ] &&
    wait_for 30 grep -q "answer ${BASH_REMATCH[1]} sent whole" "$work/server.log" ||
    fail "a record the server never sent whole: $(iconv -f CP936 -t UTF-8 <<<"$line" 2>&1)"
done < <(cat "$log/cache.txt" <(echo) "$log"/[0-9]*.log | tr -d '\r' | grep -av '^$')
check "$records records, each an answer sent whole" [ "$records" -ge 5 ]
checks_result
