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

dir=/opt/vlmrefresh
unit=/etc/systemd/system/VlmRefresh.service
wants=/etc/systemd/system/multi-user.target.wants/VlmRefresh.service
container_begin "package test" "$dir"
finish() {
  echo "timing: package ${package_ms:-?} ms, boot ${container_boot_ms:-?} ms, install ${install_ms:-?} ms," \
    "first refresh ${refresh_ms:-?} ms, remove ${remove_ms:-?} ms, purge ${purge_ms:-?} ms"
  container_result
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

# The container's Docker policy (policy-rc.d refusing every start) is not the
# one of a machine that boots systemd.
rm -f "$container_root/usr/sbin/policy-rc.d"
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
check "installed in $install_ms ms: unit $(in_machine systemctl is-enabled VlmRefresh 2>&1)" \
  [ "$(in_machine systemctl is-enabled VlmRefresh 2>&1)" = enabled ]
check "service active after install" [ "$(in_machine systemctl is-active VlmRefresh 2>&1)" = active ] ||
  in_machine systemctl status VlmRefresh 2>&1 | head -15
check "config.ini and log/ made beside the executable" test -f "$container_root$dir/config.ini" -a -d "$container_root$dir/log"

# 2. A loopback page served inside the machine; the running service takes
# the changed Url within a second and refreshes it.
in_machine systemd-run --quiet --unit=vlm-page-server /root/pageserver/VlmPageServer --seconds 600 \
  --port-file /root/pageserver/url
wait_for 50 test -s "$container_root/root/pageserver/url"
url=$(cat "$container_root/root/pageserver/url" 2>/dev/null)
[ -n "$url" ] || fail "the page server wrote no address"
t0=$(now_ms)
in_machine sed -i "s#^Url=.*#Url=$url\r#" "$dir/config.ini"
in_machine grep -q "^Url=$url" "$dir/config.ini" || fail "could not set Url in config.ini"
wait_for 150 grep -aq ' 200 ' "$container_root$dir/log/cache.txt" 2>/dev/null
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
check "config.ini and log/ kept by remove" test -f "$container_root$dir/config.ini" -a -f "$container_root$dir/log/cache.txt"
state=$(in_machine dpkg-query -W -f='${Status}' vlmrefresh 2>&1)
check "dpkg state after remove: $state" [ "$state" = "deinstall ok config-files" ]

# 4. Purge: nothing of the package left.
t0=$(now_ms)
apt_get purge vlmrefresh || fail "apt-get purge: $(tail -10 "$container_dir/apt.log")"
purge_ms=$(($(now_ms) - t0))
left=""
for p in "$dir" /var/lib/VlmRefresh "$unit" "$wants" /usr/share/doc/vlmrefresh; do
  if [ -e "$container_root$p" ] || [ -L "$container_root$p" ]; then left="$left $p"; fi
done
check "purged in $purge_ms ms, left:${left:- nothing}" [ -z "$left" ]
if in_machine dpkg-query -W vlmrefresh >/dev/null 2>&1; then
  fail "dpkg still lists the package: $(in_machine dpkg -l vlmrefresh 2>&1 | tail -1)"
else
  pass "dpkg lists nothing of vlmrefresh"
fi

finish
