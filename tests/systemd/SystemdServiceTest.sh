#!/bin/bash
# The Linux build under a real systemd as PID 1, in a throw-away machine
# (tests/systemd/container.sh): -i installs and enables the unit; systemctl
# start makes it active, a loopback page is refreshed and systemctl status
# shows that last result; RTMIN stores Current, RTMIN+1 gives event 106;
# systemctl stop ends it within 2 s with
# Result=success; 20 start --no-block + stop pairs each end within 3 s,
# none by SIGKILL; SIGHUP leaves it active; SIGKILL is followed by a
# restart; the unit's journal is UTF-8; -u disables and removes the unit.
# Prints the timings (boot, worst stop, worst start/stop pair).
#
#   SystemdServiceTest.sh SERVICE_EXECUTABLE PAGE_SERVER
#
# Exit code 77 (a skip for CTest) with a "SKIP:" line where no machine can
# be booted here (not root, no systemd-nspawn, no overlay file system).
set -u
exe=$1
pageserver=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/systemd/container.sh
. "$here/container.sh"

dir=/opt/vlmrefresh
svc=$dir/VlmRefreshSvc
container_begin "real-systemd test" "$dir"
container_put "$pageserver" "$dir"
cp "$exe" "$container_root$svc"

if ! container_boot; then
  fail "boot: $container_why"
  exit 1
fi
echo "timing: boot ${container_boot_ms} ms"

# 1. -i installs and enables the unit.
out=$(in_machine "$svc" -i 2>&1 | iconv -f CP936 -t UTF-8)
check "-i: $out" grep -q "^VlmRefresh installed$" <<<"$out"
check "unit enabled ($(in_machine systemctl is-enabled VlmRefresh 2>&1))" \
  [ "$(in_machine systemctl is-enabled VlmRefresh 2>&1)" = enabled ]
check "unit restarts on failure" in_machine grep -q '^Restart=on-failure$' /etc/systemd/system/VlmRefresh.service

# A page on loopback, served inside the machine; config.ini (made by -i)
# points at it.
in_machine systemd-run --quiet --unit=vlm-page-server "$dir/VlmPageServer" --seconds 600 \
  --port-file "$dir/url"
wait_for 50 test -s "$container_root$dir/url"
url=$(cat "$container_root$dir/url" 2>/dev/null)
[ -n "$url" ] || fail "the page server wrote no address"
in_machine sed -i "s#^Url=.*#Url=$url\r#" "$dir/config.ini"
in_machine grep -q "^Url=$url" "$dir/config.ini" || fail "could not set Url in config.ini"

# 2. Start: active, and the page refreshed.
in_machine systemctl start VlmRefresh
[ "$(in_machine systemctl is-active VlmRefresh)" = active ] && pass "systemctl start: active" ||
  fail "not active after start: $(in_machine systemctl status VlmRefresh 2>&1 | head -20)"
if wait_for 150 in_machine grep -aq ' 200 ' "$dir/log/cache.txt" 2>/dev/null; then
  pass "page refreshed: $(in_machine cat "$dir/log/cache.txt" | iconv -f CP936 -t UTF-8 | tail -1)"
else
  fail "no cache line: $(in_machine cat "$dir/log/cache.txt" 2>&1)"
fi
# systemctl status shows the last run: time, status code, result text.
for _ in $(seq 30); do
  line=$(in_machine systemctl status --no-pager VlmRefresh 2>&1 | grep -a 'Status: "Last run ')
  [ -n "$line" ] && break
  sleep 0.1
done
if grep -aqE 'Status: "Last run [0-9]{4}-[0-9]{2}-[0-9]{2} [0-9:]{8}: 200 ' <<<"$line"; then
  pass "systemctl status shows the last result:${line#*Status:}"
else
  fail "systemctl status without the last result: $(in_machine systemctl status --no-pager VlmRefresh 2>&1 | head -8)"
fi

# 3. RTMIN stores Current; RTMIN+1 is not handled: event 106.
store=/var/lib/VlmRefresh/registry.conf
in_machine systemctl kill -s RTMIN VlmRefresh
wait_for 30 in_machine grep -q '^Current = ' "$store" 2>/dev/null
current=$(in_machine grep '^Current = ' "$store" 2>/dev/null)
[ -n "$current" ] && pass "RTMIN stored $current" || fail "RTMIN stored nothing in $store"
in_machine systemctl kill -s RTMIN+1 VlmRefresh
event106() { in_machine journalctl -t VlmRefresh -o cat 2>/dev/null | grep -q '^event 106'; }
wait_for 30 event106
# The journal carries the event's sentence, the same as the Windows message table.
line=$(in_machine journalctl -t VlmRefresh -o cat | grep -a '^event 106' | tail -1)
[ "$line" = "event 106: The service received a control code that it does not handle." ] &&
  pass "RTMIN+1 gave: $line" || fail "event 106 in the journal: '${line:-none}'"

# 4. Stop within 2 s, Result=success.
t0=$(now_ms)
in_machine systemctl stop VlmRefresh
worst_stop=$(($(now_ms) - t0))
result=$(in_machine systemctl show -p Result --value VlmRefresh)
status=$(in_machine systemctl show -p ExecMainStatus --value VlmRefresh)
if [ "$worst_stop" -le 2000 ] && [ "$result" = success ] && [ "$status" = 0 ]; then
  pass "stop in $worst_stop ms, Result=$result, exit code $status"
else
  fail "stop in $worst_stop ms, Result=$result, exit code $status"
fi

# 5. start --no-block + stop at once, 20 times: each within 3 s, none killed.
worst_pair=0
slow=0
for i in $(seq 20); do
  # Twenty starts in a row would hit the start rate limit, not the service.
  in_machine systemctl reset-failed VlmRefresh 2>/dev/null
  t0=$(now_ms)
  in_machine systemctl start --no-block VlmRefresh
  # Every other pair stops the process itself, as soon as it exists (still
  # starting); the others stop while the start job may still be queued.
  if [ $((i % 2)) = 0 ]; then
    for _ in $(seq 100); do
      [ "$(in_machine systemctl show -p MainPID --value VlmRefresh)" != 0 ] && break
      sleep 0.02
    done
  fi
  in_machine systemctl stop VlmRefresh
  t=$(($(now_ms) - t0))
  [ "$t" -gt "$worst_pair" ] && worst_pair=$t
  result=$(in_machine systemctl show -p Result --value VlmRefresh)
  if [ "$t" -gt 3000 ] || [ "$result" != success ]; then
    slow=$((slow + 1))
    echo "  pair $i: $t ms, Result=$result"
  fi
done
check "20 start/stop pairs, $slow slower than 3 s or not successful, worst $worst_pair ms" [ "$slow" = 0 ]
killed=$(in_machine journalctl -u VlmRefresh -o cat | grep -ciE 'SIGKILL|timed out|Killing')
check "$killed journal lines of stops that timed out or were killed" [ "$killed" = 0 ]

# 6. SIGHUP is harmless; SIGKILL is followed by a restart.
in_machine systemctl reset-failed VlmRefresh 2>/dev/null
in_machine systemctl start VlmRefresh
pid=$(in_machine systemctl show -p MainPID --value VlmRefresh)
in_machine systemctl kill -s HUP VlmRefresh
sleep 1
pid_after=$(in_machine systemctl show -p MainPID --value VlmRefresh)
if [ "$(in_machine systemctl is-active VlmRefresh)" = active ] && [ "$pid" = "$pid_after" ]; then
  pass "SIGHUP left it active (PID $pid)"
else
  fail "SIGHUP: PID $pid -> $pid_after, $(in_machine systemctl is-active VlmRefresh)"
fi
in_machine systemctl kill -s KILL VlmRefresh
restarted=""
for _ in $(seq 100); do
  pid_now=$(in_machine systemctl show -p MainPID --value VlmRefresh)
  if [ "$(in_machine systemctl is-active VlmRefresh)" = active ] && [ "$pid_now" != 0 ] &&
     [ "$pid_now" != "$pid" ]; then
    restarted=$pid_now
    break
  fi
  sleep 0.1
done
[ -n "$restarted" ] &&
  pass "SIGKILL: restarted as PID $restarted ($(in_machine systemctl show -p NRestarts VlmRefresh))" ||
  fail "no restart after SIGKILL: $(in_machine systemctl status VlmRefresh 2>&1 | head -15)"
t0=$(now_ms)
in_machine systemctl stop VlmRefresh
t=$(($(now_ms) - t0))
[ "$t" -gt "$worst_stop" ] && worst_stop=$t
check "stop of the restarted service in $t ms (at most 2000)" [ "$t" -le 2000 ]

# 7. The unit's journal is UTF-8 (raw bytes, --all), and the banner is there
# in UTF-8 (not code page 936).
in_machine journalctl -u VlmRefresh -o cat --all >"$container_dir/journal"
if iconv -f UTF-8 -t UTF-8 "$container_dir/journal" >/dev/null 2>&1; then
  pass "journal of the unit is valid UTF-8 ($(wc -l <"$container_dir/journal") lines)"
else
  fail "journal of the unit is not UTF-8: $(grep -avx '.*' "$container_dir/journal" | head -3)"
fi
banner=$'Velmora\xc2\xb7\xe7\xbd\x91\xe9\xa1\xb5\xe5\xae\x9a\xe6\x97\xb6\xe5\x88\xb7\xe6\x96\xb0\xe5\xb7\xa5\xe5\x85\xb7'
grep -aqx "$banner" "$container_dir/journal" && grep -aqx "$banner "$'\xe5\x90\xaf\xe5\x8a\xa8\xe5\xae\x8c\xe6\xaf\x95' "$container_dir/journal" &&
  pass "banner and closing line in UTF-8 in the journal" ||
  fail "banner or closing line missing in UTF-8: $(head -5 "$container_dir/journal")"

# 8. -u disables and removes the unit.
out=$(in_machine "$svc" -u 2>&1 | iconv -f CP936 -t UTF-8)
check "-u: $out" grep -q "^VlmRefresh removed" <<<"$out"
in_machine test -e /etc/systemd/system/VlmRefresh.service && fail "unit file still there"
check "unit file and its enablement link gone" [ -z "$(in_machine find /etc/systemd/system -name VlmRefresh.service)" ]
in_machine systemctl is-enabled VlmRefresh >/dev/null 2>&1 && fail "unit still enabled"

echo "timing: boot ${container_boot_ms} ms, worst stop ${worst_stop} ms, worst start/stop pair ${worst_pair} ms"
container_result
