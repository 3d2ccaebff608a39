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
  checks_result
}
# apt_get STEP ARGS...: apt-get inside the machine; STEP_ms is how long it took.
apt_get() {
  local t0
  t0=$(now_ms)
  in_machine env DEBIAN_FRONTEND=noninteractive apt-get -y -q -o DPkg::Lock::Timeout=60 "${@:2}" \
    >"$container_dir/apt.log" 2>&1 || fail "apt-get ${*:2}: $(tail -10 "$container_dir/apt.log")"
  printf -v "$1_ms" %s $(($(now_ms) - t0))
}

# The package, from the build under test.
t0=$(now_ms)
(cd "$builddir" && cpack -G DEB -B "$container_dir/deb" >"$container_dir/cpack.log" 2>&1) ||
  fail "cpack: $(tail -5 "$container_dir/cpack.log")"
package_ms=$(($(now_ms) - t0))
deb=$(ls "$container_dir"/deb/vlmrefresh_*_amd64.deb 2>/dev/null | head -1)
[ -n "$deb" ] || { fail "cpack made no vlmrefresh_*_amd64.deb"; finish; }
echo "package: $(basename "$deb") in $package_ms ms"

# The container's Docker policy (policy-rc.d refusing every start) is not the
# one of a machine that boots systemd.
rm -f "$container_root/usr/sbin/policy-rc.d"
container_put "$deb" /root/pkg
pkg=/root/pkg/$(basename "$deb")
container_boot || finish
if in_machine dpkg-query -W -f='${Status}' vlmrefresh 2>/dev/null | grep -q installed; then
  fail "vlmrefresh is already installed on this machine's root; remove it first"
  finish
fi

# Nothing but the package itself may be installed (no download of a
# dependency, nothing upgraded).
apt_get simulate -s install "$pkg"
others=$(grep '^Inst ' "$container_dir/apt.log" | grep -v '^Inst vlmrefresh ')
if [ -n "$others" ] || ! grep -q '^Inst vlmrefresh ' "$container_dir/apt.log"; then
  fail "the installation would not be offline: ${others:-no Inst vlmrefresh line}"
  finish
fi

# 1. Install: the unit is enabled and active.
apt_get install install "$pkg"
check "installed in $install_ms ms: unit $(in_machine systemctl is-enabled VlmRefresh 2>&1)" \
  [ "$(in_machine systemctl is-enabled VlmRefresh 2>&1)" = enabled ]
check "service active after install" [ "$(in_machine systemctl is-active VlmRefresh 2>&1)" = active ] ||
  in_machine systemctl status VlmRefresh 2>&1 | head -15
check "config.ini and log/ made beside the executable" test -f "$container_root$dir/config.ini" -a -d "$container_root$dir/log"

# 2. A loopback page; the running service takes the changed Url within a
# second and refreshes it.
container_serve_page "$pageserver" "$dir"
cache=$container_root$dir/log/cache.txt
wait_for 150 grep -aqs ' 200 ' "$cache"
refresh_ms=$(($(now_ms) - url_set_ms))
check "page refreshed $refresh_ms ms after the Url was set: $(iconv -f CP936 -t UTF-8 "$cache" 2>&1)" grep -aqs ' 200 ' "$cache"

# 3. Remove: stopped, unit gone; config.ini, log/ and the store stay.
pid=$(in_machine systemctl show -p MainPID --value VlmRefresh)
apt_get remove remove vlmrefresh
check "removed in $remove_ms ms: service process ($pid) ended" eval '[ "$pid" = 0 ] || ! in_machine kill -0 "$pid" 2>/dev/null'
[ "$(in_machine systemctl is-active VlmRefresh 2>&1)" != active ] || fail "unit still active after remove"
check "unit file and its enablement link gone" eval '[ ! -e "$container_root$unit" ] && [ ! -L "$container_root$wants" ]'
in_machine systemctl cat VlmRefresh >/dev/null 2>&1 && fail "systemd still knows the unit after remove"
[ -e "$container_root$dir/VlmRefreshSvc" ] && fail "the executable is still there after remove"
check "config.ini and log/ kept by remove" test -f "$container_root$dir/config.ini" -a -f "$cache"
state=$(in_machine dpkg-query -W -f='${Status}' vlmrefresh 2>&1)
check "dpkg state after remove: $state" [ "$state" = "deinstall ok config-files" ]

# 4. Purge: nothing of the package left.
apt_get purge purge vlmrefresh
left=""
for p in "$dir" /var/lib/VlmRefresh "$unit" "$wants" /usr/share/doc/vlmrefresh; do
  if [ -e "$container_root$p" ] || [ -L "$container_root$p" ]; then left="$left $p"; fi
done
check "purged in $purge_ms ms, left:${left:- nothing}" [ -z "$left" ]
check "dpkg lists nothing of vlmrefresh" eval '! in_machine dpkg-query -W vlmrefresh >/dev/null 2>&1'

finish
