#!/bin/bash
# The Windows build as the Service Control Manager runs it, under Wine in a
# private prefix, from a directory whose path holds a blank ("Program
# Files") with a stray Program.exe beside "Program Files": -v before and
# after -i, -i twice, the registry values that installation writes (the
# image path in quotes) and the failure actions as far as Wine shows them, a
# real start with LastStart and a page refresh from a
# loopback server, the counter saved by control 128 (Start=10, Inc=5), the
# stop within about a second with exit code 0, a Start value that is text,
# exit code 0 in the running status without the Parameters key, a stop while
# a request waits for a server that never answers (no record, a note), -u
# naming the executable's full path, the runs without a recognised option,
# the console run -f ended by Ctrl+C, and a log\ that cannot be written
# reported to the event log. (What control 129 does is the
# same code in both builds: ServiceCounterTest.)
#
#   WineServiceTest.sh WINDOWS_BUILD_DIR PAGE_SERVER
set -u
win=$1
pageserver=$2
# shellcheck source=tests/service-wine/WineSetup.sh
. "$(dirname "$0")/WineSetup.sh" vlm-service-test
work="$base/Program Files/VlmRefresh"
mkdir -p "$work"
cp "$win/VlmRefreshSvc.exe" "$work/"
# Run for an unquoted image path, this one would fail the start.
cp "$win/ServiceCtl.exe" "$base/Program.exe"
winexe="Z:$(echo "$work/VlmRefreshSvc.exe" | tr / '\\')"

# page_server FILE ARGS...: a loopback page server whose address goes to FILE.
page_server() {
  rm -f "$1"
  "$pageserver" "${@:2}" --seconds 120 --port-file "$1" 2>"$1.log" &
  wait_for 50 test -s "$1"
}
set_url() { sed -i "s#^Url=.*#Url=$1\r#" "$work/config.ini"; }

# The console lines, as code page 936 bytes with CR LF (text-mode stdout).
banner=$'Velmora\xa1\xa4\xcd\xf8\xd2\xb3\xb6\xa8\xca\xb1\xcb\xa2\xd0\xc2\xb9\xa4\xbe\xdf'
closing="$banner"$' \xc6\xf4\xb6\xaf\xcd\xea\xb1\xcf'

# run_exe ARGS: runs the service executable from a console with the
# (blank-separated) ARGS; stdout in $work/out, exit code in $rc.
run_exe() {
  # shellcheck disable=SC2086
  "$src/tools/wine-run.sh" "$work/VlmRefreshSvc.exe" $1 >"$work/out" 2>/dev/null
  rc=$?
}
# expect_out DESCRIPTION LINE...: the last run printed exactly the banner,
# the given lines and the closing line, and ended with exit code 0.
expect_out() {
  printf '%s\r\n' "$banner" "${@:2}" "$closing" >"$work/expected"
  check "$1 (exit code $rc)" eval 'cmp -s "$work/expected" "$work/out" && [ "$rc" = 0 ]' ||
    diff <(od -c "$work/expected") <(od -c "$work/out") | head -20
}
# run ARGS LINE...: run_exe ARGS, then expect_out.
run() { run_exe "$1"; expect_out "run with '$1'" "${@:2}"; }

# 1. Before installation; every run makes config.ini and log\.
run_exe -v
expect_out "-v before -i" "VlmRefresh Version 1.0" "The service is not installed"
check "config.ini and log\\ made by -v" test -f "$work/config.ini" -a -d "$work/log"
run /u "VlmRefresh is not installed"

# 2. Installation, twice, and the version option afterwards.
run -i "VlmRefresh installed"
run /I "VlmRefresh is already installed"
run -V "VlmRefresh Version 1.0" "The service is currently installed"

# 3. What installation wrote, and the counter parameters. One cmd runs all.
svckey='HKLM\SYSTEM\CurrentControlSet\Services\VlmRefresh'
"$src/tools/wine-run.sh" cmd /c "reg query HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VlmRefresh & \
reg query $svckey & \
reg add $svckey\\Parameters /v Start /t REG_DWORD /d 10 /f & \
reg add $svckey\\Parameters /v Inc /t REG_DWORD /d 5 /f" 2>/dev/null | tr -d '\r' >"$work/reg.txt"
description=$'Velmora\xc2\xb7\xe7\xbd\x91\xe9\xa1\xb5\xe5\xae\x9a\xe6\x97\xb6\xe5\x88\xb7\xe6\x96\xb0\xe5\xb7\xa5\xe5\x85\xb7 \xe7\xb3\xbb\xe7\xbb\x9f\xe6\x9c\x8d\xe5\x8a\xa1'
while IFS='|' read -r name type data; do
  check "registry $name $type $data" \
    grep -qE "^ +$name +$type +$(printf '%s' "$data" | sed 's/[][\\.^$*]/\\&/g')\$" "$work/reg.txt"
done <<EOT
EventMessageFile|REG_EXPAND_SZ|$winexe
TypesSupported|REG_DWORD|0x7
ImagePath|REG_(EXPAND_)?SZ|"$winexe"
Type|REG_DWORD|0x10
Start|REG_DWORD|0x2
ErrorControl|REG_DWORD|0x1
EOT
# Wine's reg prints in the console's code page; accept UTF-8 or 936 bytes.
check "registry Description" grep -qF -e "$description" \
  -e "$(printf '%s' "$description" | iconv -f UTF-8 -t CP936)" "$work/reg.txt" || cat "$work/reg.txt"

# 3b. The failure actions: read back where the manager keeps them; Wine
# keeps none (the query says ERROR_INVALID_LEVEL, 124) and only traces the
# call with its reset period.
ctl failure
check "failure actions: ${ctl[0]:-}; $(grep -a FAILURE_ACTIONS "$base/scm.log")" \
  eval '[ "${ctl[0]:-}" = "failure reset 86400: 1/2000 1/2000 1/60000" ] || { [ "${ctl[0]:-}" = "failure error 124" ] &&
  grep -aq "FAILURE_ACTIONS not implemented: period 86400 " "$base/scm.log"; }'

# 4. A page on loopback for the service to refresh (on /slow-head it never
# answers while the test runs).
page_server "$work/url" --numbered 120000
server_pid=$!
url=$(cat "$work/url")
set_url "$url"
grep -q "^Url=$url" "$work/config.ini" || fail "could not set Url in config.ini"

# counter BASE LOW HIGH: the fifth ServiceCtl line read Current = BASE + 5k
# with k from LOW to HIGH.
counter() {
  [[ "${ctl[4]:-}" =~ ^reg\ Current\ (-?[0-9]+)$ ]] || return 1
  local c=$((BASH_REMATCH[1] - $1))
  [ $((c % 5 == 0 && c >= 5 * $2 && c <= 5 * $3)) = 1 ]
}

# 5. Start, save the counter, stop.
status='SYSTEM\CurrentControlSet\Services\VlmRefresh\Status'
ctl start wait:4:15000 sleep:3000 control:128 "reg:$status:Current" control:1 wait:1:5000 query
cat "$work/ctl.txt"
check "started and running: ${ctl[0]:-}, ${ctl[1]:-}" eval '[ "${ctl[0]:-}" = "start ok" ] && [[ "${ctl[1]:-}" = "state 4 after"* ]]'
# About three seconds after the start: 10 + 5k with k from 2 to 8.
check "control 128 stored 10 + 5k, k in 2..8: ${ctl[3]:-}, ${ctl[4]:-}" counter 10 2 8
[[ "${ctl[6]:-}" =~ ^state\ 1\ after\ ([0-9]+)\ ms$ ]]
check "stopped within 2000 ms: ${ctl[5]:-}, ${ctl[6]:-}" [ "${BASH_REMATCH[1]:-99999}" -le 2000 ]
check "exit code 0 after stop: ${ctl[7]:-}" [ "${ctl[7]:-}" = "state 1 exit 0" ]

# LastStart was empty until the first start (the runs above made config.ini).
check "LastStart written: $(grep -a '^LastStart=' "$work/config.ini")" \
  grep -aqE $'^LastStart=[0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}\r$' "$work/config.ini"
check "page refreshed: $(iconv -f CP936 -t UTF-8 "$work/log/cache.txt" 2>&1)" grep -aq ' 200 ' "$work/log/cache.txt"

# Wine reports a service stopped as soon as it says so, while its process
# goes on for up to a second more; a start before it has gone would reach
# the old process ("already running").
svc_process="$(basename "$base").Program Files.VlmRefresh.VlmRefreshSvc.exe"
svc_gone() { ! pgrep -f "$svc_process" >/dev/null; }

# 5b. A Start value that is text, not a number, counts as missing: the
# counter starts at 0 (steps of Inc=5), not at the text's bytes.
wait_for 50 svc_gone
"$src/tools/wine-run.sh" reg add "$svckey\\Parameters" /v Start /t REG_SZ /d 10 /f \
  >/dev/null 2>&1
ctl start wait:4:15000 sleep:1500 control:128 "reg:$status:Current" control:1 wait:1:5000
check "text Start ignored, a fresh start and 5k with k in 0..8: ${ctl[*]}" eval '[ "${ctl[0]:-}" = "start ok" ] && counter 0 0 8'

# 5c. Without the Parameters key (the usual case) the running service
# reports exit code 0: the failed look-up of the key is no exit code.
"$src/tools/wine-run.sh" reg delete "$svckey\\Parameters" /f >/dev/null 2>&1
wait_for 50 svc_gone
ctl start wait:4:15000 query control:1 wait:1:5000
check "running with exit code 0 without Parameters: ${ctl[2]:-}" [ "${ctl[2]:-}" = "state 4 exit 0" ]

# 5d. A stop while the worker waits for a page that is never answered: the
# service process ends within 2 s of net stop, the worker gave the request up
# by itself (its note in system.log) instead of being ended forcibly after
# its grace, and the request it cut short left no record.
set_url "${url}slow-head"
rm -f "$work/log/cache.txt"
wait_for 50 svc_gone
"$src/tools/wine-run.sh" net start VlmRefresh >/dev/null 2>&1
wait_for 100 grep -q "GET /slow-head" "$work/url.log"
svc_pid=$(pgrep -f "$svc_process" | head -1)
# Ended: gone, or a zombie that its Wine parent has not reaped yet.
running() { [ -n "$svc_pid" ] && [ -r "/proc/$svc_pid/stat" ] && [ "$(cut -d' ' -f3 "/proc/$svc_pid/stat" 2>/dev/null)" != Z ]; }
check "hanging request: service running (${svc_pid:-no process}), page requested" eval 'running && grep -q "GET /slow-head" "$work/url.log"'
t0=$(date +%s%N)
"$src/tools/wine-run.sh" net stop VlmRefresh >/dev/null 2>&1
while running && (( $(date +%s%N) - t0 < 5000000000 )); do sleep 0.02; done
ms=$(( ($(date +%s%N) - t0) / 1000000 ))
check "hanging request: the process ended within 2000 ms of net stop ($ms ms)" eval '! running && [ "$ms" -le 2000 ]'
# "服务停止，本次刷新中断", the worker's note of a run cut short.
note=$'\xb7\xfe\xce\xf1\xcd\xa3\xd6\xb9\xa3\xac\xb1\xbe\xb4\xce\xcb\xa2\xd0\xc2\xd6\xd0\xb6\xcf'
cut_short() { ! test -e "$work/log/cache.txt" && grep -aq "$note" "$work/log/system.log"; }
check "hanging request given up by the worker, no record made" cut_short
set_url "$url"

# 6. Removal. (Wine's service manager keeps a removed service marked for
# deletion until it ends, so a second -u is tested before installation.)
run -u "VlmRefresh removed. (You must delete the file ($winexe) yourself.)"

# 7. No option, and arguments that are not options: the dispatcher fails at once.
for args in "" "--i" "i" "-x"; do run "$args"; done

# 8. The console run: -f refreshes the page until Ctrl+C (Wine turns the
# SIGINT of its process into CTRL_C_EVENT).
rm -f "$work/log/cache.txt"
"$src/tools/wine-run.sh" "$work/VlmRefreshSvc.exe" -f >"$work/out" 2>/dev/null &
fpid=$!
wait_for 150 test -s "$work/log/cache.txt"
check "-f refreshed the page" grep -aq ' 200 ' "$work/log/cache.txt"
kill -INT "$fpid"
wait_for 30 eval '! kill -0 "$fpid" 2>/dev/null' || { kill -KILL "$fpid"; fail "-f did not end within 3 s of Ctrl+C"; }
wait "$fpid"
rc=$?
expect_out "-f ended by Ctrl+C"

# 9. log\ that cannot be written (a plain file in its place): the first
# failure of each file goes to the event log as event 109 (error) with its
# note, once per run of failures; when log\ is back and fails again, anew.
# Wine keeps no event log, but WINEDEBUG=+eventlog traces the strings.
rm -rf "$work/log"
echo "a plain file" >"$work/log"
WINEDEBUG=+eventlog "$src/tools/wine-run.sh" "$work/VlmRefreshSvc.exe" -f >/dev/null 2>"$work/events" &
fpid=$!
# notes NAME_REGEX: how many notes "... 写入失败：<name>" of that file were traced.
notes() {
  grep -aF 'err:eventlog:ReportEventW L"' "$work/events" | grep -ac '\\5199\\5165\\5931\\8d25\\ff1a'"$1"'"$'
}
wait_for 150 eval '[ "$(notes "cache\.txt")" -ge 1 ]'
sleep 2.5  # more passes, all failing
per_file="time.txt $(notes 'time\.txt'), cache.txt $(notes 'cache\.txt'), day $(notes '[0-9-]*\.log')"
check "one event per failing file: $per_file" [ "$per_file" = "time.txt 1, cache.txt 1, day 1" ]
check "event 109 of type error" grep -aq 'ReportEventA (.*,0x0001,0x0000,0x0000006d,' "$work/events"
rm -f "$work/log"
wait_for 50 test -f "$work/log/time.txt"
rm -rf "$work/log"
echo "a plain file" >"$work/log"
check "failing again after a success: a new event" wait_for 50 eval '[ "$(notes "time\.txt")" = 2 ]'
kill -INT "$fpid"
wait_for 30 eval '! kill -0 "$fpid" 2>/dev/null' || kill -KILL "$fpid"
wait "$fpid"
rm -f "$work/log"

checks_result
