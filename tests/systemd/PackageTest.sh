#!/bin/bash
# The Debian package through an administrator's year under a real systemd as
# PID 1, in a throw-away machine (tests/systemd/container.sh), with apt-get:
# - install: the unit enabled and active; its main process runs as the user
#   vlmrefresh, which owns config.ini and log/ but not the executable or its
#   directory; systemd-analyze security rates the unit 1.5 at most; a
#   loopback page set in config.ini is refreshed;
# - upgrade to a higher version (the package repacked with a bumped version)
#   while it runs: running the new executable, config.ini kept, exactly one
#   new record, a real answer; the administrator's Start and Inc kept, and
#   RTMIN saves the counter as that user;
# - -u from another copy of the executable: refused, the service stays;
# - stopped, it stays so across a reinstallation; disabled and stopped,
#   across a reinstallation, a downgrade and an upgrade; masked, across a
#   reinstallation;
# - remove: stopped, the unit gone, config.ini and log/ kept; installed
#   again, enabled and started; purge: nothing of the package left but the
#   system user.
# Prints the timings.
#
#   PackageTest.sh BUILD_DIR PAGE_SERVER
#
# The package is made here with cpack from BUILD_DIR (the same CPack settings
# and maintainer scripts as tools/package.sh, with the executable of that
# build), so that it always holds the program under test. It is installed
# offline: the machine is this machine's root, whose packages already satisfy
# the dependencies, and a simulated installation first must show nothing to
# install but vlmrefresh (apt 2.6 refuses a local .deb with --no-download).
#
# Exit code 77 (a skip for CTest) with a "SKIP:" line where no machine can
# be booted here (not root, no systemd-nspawn, no overlay file system).
set -u
builddir=$1
pageserver=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/systemd/container.sh
. "$here/container.sh"

dir=/opt/vlmrefresh
container_begin "package test" "$dir"
finish() {
  echo "timing: package ${package_ms:-?} ms, boot ${container_boot_ms:-?} ms, install ${install_ms:-?} ms," \
    "first refresh ${refresh_ms:-?} ms, upgrade ${upgrade_ms:-?} ms, remove ${remove_ms:-?} ms, purge ${purge_ms:-?} ms"
  checks_result
}
# apt_get STEP ARGS...: apt-get inside the machine; STEP_ms is how long it took.
apt_get() {
  local t0=$(now_ms)
  in_machine env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=60 "${@:2}" \
    >"$container_dir/apt.log" 2>&1 || fail "apt-get ${*:2}: $(tail -10 "$container_dir/apt.log")"
  printf -v "$1_ms" %s $(($(now_ms) - t0))
}
sd() { in_machine systemctl "$@" 2>&1; }
state() { echo "$(sd is-enabled VlmRefresh)/$(sd is-active VlmRefresh)"; }
main_pid() { sd show -p MainPID --value VlmRefresh; }
version() { in_machine dpkg-query -W -f='${Version}' vlmrefresh; }
owners() { in_machine stat -c %U "$@" | tr '\n' ' '; }
logs=$container_root$dir/log
records() { cat "$logs"/20*.log 2>/dev/null | wc -l; }
newest() { tail -qn1 "$logs"/20*.log | iconv -f CP936 -t UTF-8; }

# The package from the build under test, and the same with a higher version.
t0=$(now_ms)
(cd "$builddir" && cpack -G DEB -B "$container_dir/deb" >"$container_dir/cpack.log" 2>&1) ||
  fail "cpack: $(tail -5 "$container_dir/cpack.log")"
package_ms=$(($(now_ms) - t0))
deb=$(ls "$container_dir"/deb/vlmrefresh_*_amd64.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { fail "cpack made no vlmrefresh_*_amd64.deb"; finish; }
ver=$(dpkg-deb -f "$deb" Version) next=$container_dir/next
dpkg-deb -R "$deb" "$next" && sed -i "s/^Version: .*/Version: $ver+1/" "$next/DEBIAN/control" &&
  dpkg-deb -b "$next" "$next.deb" >/dev/null || fail "repacking as $ver+1 failed"
echo "packages: $(basename "$deb") in $package_ms ms, and $ver+1"

# The container's Docker policy (policy-rc.d refusing every start) is not the
# one of a machine that boots systemd.
rm -f "$container_root/usr/sbin/policy-rc.d"
container_put "$deb" "$next.deb" /root/pkg
pkg=/root/pkg/$(basename "$deb") next=/root/pkg/next.deb
container_boot || finish
in_machine dpkg-query -W vlmrefresh >/dev/null 2>&1 && { fail "dpkg knows vlmrefresh here: purge it"; finish; }

# Nothing but the package itself may be installed (no download of a
# dependency, nothing upgraded).
apt_get simulate -s install "$pkg"
others=$(grep '^Inst ' "$container_dir/apt.log" | grep -v '^Inst vlmrefresh ')
[ -z "$others" ] && grep -q '^Inst vlmrefresh ' "$container_dir/apt.log" ||
  { fail "the installation would not be offline: ${others:-no Inst vlmrefresh line}"; finish; }

# 1. Install: enabled and running as the system user, which owns what the
# service writes and nothing else; exposure 1.5 at most.
apt_get install install "$pkg"
check "installed in $install_ms ms: $(state)" [ "$(state)" = enabled/active ] || sd status VlmRefresh | head -15
pid=$(main_pid)
check "main process $pid runs as: $(owners "/proc/$pid")" [ "$(owners "/proc/$pid")" = "vlmrefresh " ]
files="$dir $dir/VlmRefreshSvc $dir/config.ini $dir/log"
check "owners of $files: $(owners $files)" [ "$(owners $files)" = "root root vlmrefresh vlmrefresh " ]
exposure=$(in_machine systemd-analyze security VlmRefresh 2>&1 | sed -n 's/.*exposure level for .*: \([0-9.]*\).*/\1/p')
check "exposure ${exposure:-not rated} (at most 1.5)" awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 1.5) }'

# 2. The administrator's settings: a counter start and step, one run every
# 600 s (the run at each start and on a change only), a loopback page.
store=$container_root/var/lib/VlmRefresh/registry.conf
printf '[SYSTEM\\CurrentControlSet\\Services\\VlmRefresh\\Parameters]\nStart = 10\nInc = 5\n' >>"$store"
in_machine sed -i "s/^TimeSecond2=.*/TimeSecond2=600\r/" $dir/config.ini
container_serve_page "$pageserver" "$dir"
cache=$logs/cache.txt
wait_for 150 grep -aqs ' 200 ' "$cache"
refresh_ms=$(($(now_ms) - url_set_ms))
check "page refreshed $refresh_ms ms after the Url was set: $(newest)" grep -aqs ' 200 ' "$cache"

# 3. Upgrade while running: one restart into the new executable, which writes
# LastStart and makes its run at once; no other record.
sleep 1
ini=$container_root$dir/config.ini
before=$(records) laststart=$(grep -a '^LastStart=' "$ini")
apt_get upgrade install "$next"
newpid=$(main_pid)
check "upgraded to $(version) in $upgrade_ms ms: $(state), PID $pid -> $newpid" \
  [ "$(state)" = enabled/active -a "$newpid" != "$pid" ]
check "it runs the new executable: $(in_machine readlink "/proc/$newpid/exe")" \
  [ "$(in_machine readlink "/proc/$newpid/exe")" = "$dir/VlmRefreshSvc" ]
check "config.ini kept, LastStart written anew: $(grep -a '^LastStart=' "$ini")" \
  eval 'grep -aq "^Url=$url" "$ini" && ! grep -aqx "$laststart" "$ini"'
wait_for 50 eval '[ "$(records)" -gt "$before" ]'
sleep 1
check "records: $before before the upgrade, $(records) after, the new one: $(newest)" \
  eval '[ "$(records)" = $((before + 1)) ] && newest | grep -q " 200 "'
sd kill -s RTMIN VlmRefresh >/dev/null
wait_for 30 grep -qs '^Current = ' "$store"
current=$(sed -n 's/^Current = //p' "$store")
saver=$(owners /var/lib/VlmRefresh/registry.conf)
check "Start = 10 and Inc = 5 kept; RTMIN saved Current = $current as $saver" eval 'grep -qx "Start = 10" "$store" &&
  grep -qx "Inc = 5" "$store" && [ "$saver" = "vlmrefresh " ] && [ $((current % 5)) = 0 -a "${current:-0}" -ge 15 ]'

# 4. -u of another copy leaves the package's service alone.
out=$(in_machine sh -c "mkdir -p /srv/other && cp $dir/VlmRefreshSvc /srv/other && cd /srv/other &&
  ./VlmRefreshSvc -u; echo exit code \$?" | iconv -f CP936 -t UTF-8 | sed -n '2p;$p')
said="runs $dir/VlmRefreshSvc of the package vlmrefresh: left installed (remove it with apt-get remove vlmrefresh)"
check "-u from /srv/other: $out" eval 'grep -q "exit code [1-9]" <<<"$out" && grep -qF "$said" <<<"$out"'
check "still installed, the same process: $(state) $(main_pid)" [ "$(state) $(main_pid)" = "enabled/active $newpid" ]

# 5. The administrator's choices survive the package: stopped across a
# reinstallation; disabled and stopped across a reinstallation, a downgrade
# and an upgrade; masked across a reinstallation.
sd stop VlmRefresh
apt_get reinstall install --reinstall "$next"
check "enabled and stopped, reinstalled: $(state)" [ "$(state)" = enabled/inactive ]
sd disable VlmRefresh >/dev/null
for step in "reinstall --reinstall $next" "downgrade --allow-downgrades $pkg" "upgrade2 $next"; do
  set -- $step
  apt_get "$1" install "${@:2}"
  check "disabled and stopped, $1 ($(version)): $(state)" [ "$(state)" = disabled/inactive ]
done
check "systemctl mask: $(sd mask VlmRefresh)" [ "$(sd is-enabled VlmRefresh)" = masked ]
apt_get reinstall install --reinstall "$next"
check "masked, reinstalled: $(state)" [ "$(state)" = masked/inactive ]
sd unmask VlmRefresh >/dev/null
sd enable --now VlmRefresh >/dev/null

# 6. Remove: stopped, the unit gone; config.ini, log/ and the store stay.
pid=$(main_pid)
apt_get remove remove vlmrefresh
check "removed in $remove_ms ms: service process ($pid) ended, $(state)" \
  eval '[ "$pid" != 0 ] && ! in_machine kill -0 "$pid" 2>/dev/null && [ "$(sd is-active VlmRefresh)" != active ]'
gone=$(in_machine ls /usr/lib/systemd/system/VlmRefresh.service $dir/VlmRefreshSvc 2>/dev/null)
check "the unit and the executable gone: ${gone:-yes}" [ -z "$gone" ]
check "config.ini, log/ and the store kept by remove" test -f "$ini" -a -f "$cache" -a -f "$store"
state=$(in_machine dpkg-query -W -f='${Status}' vlmrefresh 2>&1)
check "dpkg state after remove: $state" [ "$state" = "deinstall ok config-files" ]

# 7. Installed again after the removal: enabled and started as at first.
apt_get again install "$pkg"
check "installed again: $(state)" [ "$(state)" = enabled/active ]

# 8. Purge: nothing of the package left but its system user.
apt_get purge purge vlmrefresh
left=$(cd "$container_root" && ls -d opt/vlmrefresh var/lib/VlmRefresh usr/share/doc/vlmrefresh usr/lib/sysusers.d/vlm* \
  {usr/lib/systemd/system,etc/systemd/system,etc/systemd/system/*}/VlmRefresh.service \
  var/lib/systemd/deb-systemd-helper-*/{,*/}*VlmRefresh* 2>/dev/null)
check "purged in $purge_ms ms, left: ${left:-nothing}" [ -z "$left" ]
check "dpkg lists nothing of vlmrefresh" eval '! in_machine dpkg-query -W vlmrefresh >/dev/null 2>&1'
user=$(in_machine getent passwd vlmrefresh)
check "the system user stays: $user" eval '[[ "$user" == *":/nonexistent:/usr/sbin/nologin" ]]'

finish
