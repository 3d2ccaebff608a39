#!/bin/bash
# The Debian package under a real systemd as PID 1, in a throw-away machine
# (tests/systemd/container.sh): apt-get install of the .deb enables and starts
# the unit; with a loopback Url in config.ini the service refreshes the page;
# apt-get remove stops it and removes the unit, leaving config.ini and log/;
# apt-get purge leaves nothing of the package. Prints the timings (package
# build, boot, install, first refresh, remove, purge).
#
#   PackageTest.sh BUILD_DIR PAGE_SERVER
#
# The package is made here with cpack from BUILD_DIR (the same CPack settings
# and maintainer scripts as tools/package.sh, with the executable of that
# build), so that it always holds the program under test. It is installed
# with apt-get, as an administrator does, offline: the machine is this
# machine's root, whose packages already satisfy the dependencies, and a
# simulated installation first must show nothing to install but vlmrefresh
# (apt-get's --no-download cannot be used: apt 2.6 refuses a local .deb with
# it, "Pathname to install is not absolute").
#
# Exit code 77 (a skip for CTest) with a "SKIP:" line where no machine can
# be booted here (not root, no systemd-nspawn, no overlay file system).
set -u
builddir=$1
pageserver=$2
here=$(cd "$(dirname "$0")" && pwd)
# shellcheck source=tests/systemd/container.sh
. "$here/container.sh"

if ! container_check; then
  echo "SKIP: the package test cannot run here: $container_why"
  exit 77
fi
trap container_teardown EXIT
trap 'exit 1' INT TERM
if ! container_prepare; then
  echo "SKIP: the package test cannot run here: $container_why"
  exit 77
fi

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }
now_ms() { container_now_ms; }
in_machine() { container_run "$@"; }
finish() {
  echo "timing: package ${package_ms:-?} ms, boot ${container_boot_ms:-?} ms, install ${install_ms:-?} ms," \
    "first refresh ${refresh_ms:-?} ms, remove ${remove_ms:-?} ms, purge ${purge_ms:-?} ms"
  if [ "$failures" -ne 0 ]; then
    echo "$failures check(s) failed"
    exit 1
  fi
  echo "all checks passed"
  exit 0
}

# The package, from the build under test.
t0=$(now_ms)
debdir=$container_dir/deb
if ! (cd "$builddir" && cpack -G DEB -B "$debdir" >"$container_dir/cpack.log" 2>&1); then
  fail "cpack: $(tail -5 "$container_dir/cpack.log")"
  finish
fi
package_ms=$(($(now_ms) - t0))
deb=$(ls "$debdir"/vlmrefresh_*_amd64.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { fail "cpack made no vlmrefresh_*_amd64.deb"; finish; }
echo "package: $(basename "$deb") in $package_ms ms"

dir=/opt/vlmrefresh
unit=/etc/systemd/system/VlmRefresh.service
wants=/etc/systemd/system/multi-user.target.wants/VlmRefresh.service
# What this machine's own root may hold of the service must not count; the
# container's Docker policy (policy-rc.d refusing every start) is not the one
# of a machine that boots systemd.
rm -rf "$container_root$unit" "$container_root$wants" "$container_root/var/lib/VlmRefresh" \
  "$container_root$dir" "$container_root/usr/sbin/policy-rc.d"
container_put "$deb" /root/pkg
container_put "$pageserver" /root/pageserver
pkg=/root/pkg/$(basename "$deb")

if ! container_boot; then
  fail "boot: $container_why"
  finish
fi
if in_machine dpkg-query -W -f='${Status}' vlmrefresh 2>/dev/null | grep -q installed; then
  fail "vlmrefresh is already installed on this machine's root; remove it first"
  finish
fi

apt_get() {
  in_machine env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=60 "$@" \
    >"$container_dir/apt.log" 2>&1
}

# Nothing but the package itself may be installed (no download of a
# dependency, nothing upgraded).
apt_get -s install "$pkg" || fail "apt-get -s install: $(tail -10 "$container_dir/apt.log")"
others=$(grep '^Inst ' "$container_dir/apt.log" | grep -v '^Inst vlmrefresh ')
if [ -n "$others" ] || ! grep -q '^Inst vlmrefresh ' "$container_dir/apt.log"; then
  fail "the installation would not be offline: ${others:-no Inst vlmrefresh line}"
  finish
fi

# 1. Install: the unit is enabled and active.
t0=$(now_ms)
apt_get install "$pkg" || fail "apt-get install: $(tail -10 "$container_dir/apt.log")"
install_ms=$(($(now_ms) - t0))
[ "$(in_machine systemctl is-enabled VlmRefresh 2>&1)" = enabled ] && pass "installed in $install_ms ms: unit enabled" ||
  fail "unit not enabled: $(in_machine systemctl is-enabled VlmRefresh 2>&1)"
[ "$(in_machine systemctl is-active VlmRefresh 2>&1)" = active ] && pass "service active" ||
  fail "not active after install: $(in_machine systemctl status VlmRefresh 2>&1 | head -15)"
[ -f "$container_root$dir/config.ini" ] && [ -d "$container_root$dir/log" ] &&
  pass "config.ini and log/ made beside the executable" || fail "no config.ini or log/ in $dir"

# 2. A loopback page served inside the machine; the running service takes
# the changed Url within a second and refreshes it.
in_machine systemd-run --quiet --unit=vlm-page-server /root/pageserver/VlmPageServer --seconds 600 \
  --port-file /root/pageserver/url
for _ in $(seq 50); do [ -s "$container_root/root/pageserver/url" ] && break; sleep 0.1; done
url=$(cat "$container_root/root/pageserver/url" 2>/dev/null)
[ -n "$url" ] || fail "the page server wrote no address"
t0=$(now_ms)
in_machine sed -i "s#^Url=.*#Url=$url\r#" "$dir/config.ini"
in_machine grep -q "^Url=$url" "$dir/config.ini" || fail "could not set Url in config.ini"
for _ in $(seq 150); do
  grep -aq ' 200 ' "$container_root$dir/log/cache.txt" 2>/dev/null && break
  sleep 0.1
done
refresh_ms=$(($(now_ms) - t0))
if grep -aq ' 200 ' "$container_root$dir/log/cache.txt" 2>/dev/null; then
  pass "page refreshed $refresh_ms ms after the Url was set: $(iconv -f CP936 -t UTF-8 "$container_root$dir/log/cache.txt")"
else
  fail "no cache line: $(cat "$container_root$dir/log/cache.txt" 2>&1)"
fi

# 3. Remove: stopped, unit gone; config.ini, log/ and the store stay.
pid=$(in_machine systemctl show -p MainPID --value VlmRefresh)
t0=$(now_ms)
apt_get remove vlmrefresh || fail "apt-get remove: $(tail -10 "$container_dir/apt.log")"
remove_ms=$(($(now_ms) - t0))
if [ -n "$pid" ] && [ "$pid" != 0 ] && in_machine kill -0 "$pid" 2>/dev/null; then
  fail "the service process $pid still runs after remove"
else
  pass "removed in $remove_ms ms: service process ($pid) ended"
fi
[ "$(in_machine systemctl is-active VlmRefresh 2>&1)" != active ] || fail "unit still active after remove"
if [ -e "$container_root$unit" ] || [ -L "$container_root$wants" ]; then
  fail "unit file or its enablement link left after remove"
else
  pass "unit file and its enablement link gone"
fi
in_machine systemctl cat VlmRefresh >/dev/null 2>&1 && fail "systemd still knows the unit after remove"
[ -e "$container_root$dir/VlmRefreshSvc" ] && fail "the executable is still there after remove"
[ -f "$container_root$dir/config.ini" ] && [ -f "$container_root$dir/log/cache.txt" ] &&
  pass "config.ini and log/ kept" || fail "remove took config.ini or log/"
state=$(in_machine dpkg-query -W -f='${Status}' vlmrefresh 2>&1)
[ "$state" = "deinstall ok config-files" ] && pass "dpkg: $state" || fail "dpkg state after remove: $state"

# 4. Purge: nothing of the package left.
t0=$(now_ms)
apt_get purge vlmrefresh || fail "apt-get purge: $(tail -10 "$container_dir/apt.log")"
purge_ms=$(($(now_ms) - t0))
left=""
for p in "$dir" /var/lib/VlmRefresh "$unit" "$wants" /usr/share/doc/vlmrefresh; do
  if [ -e "$container_root$p" ] || [ -L "$container_root$p" ]; then left="$left $p"; fi
done
[ -z "$left" ] && pass "purged in $purge_ms ms: nothing left" || fail "left after purge:$left"
if in_machine dpkg-query -W vlmrefresh >/dev/null 2>&1; then
  fail "dpkg still lists the package: $(in_machine dpkg -l vlmrefresh 2>&1 | tail -1)"
else
  pass "dpkg lists nothing of vlmrefresh"
fi

finish
