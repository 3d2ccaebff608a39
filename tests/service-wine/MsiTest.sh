#!/bin/bash
# The Windows Installer package under Wine's msiexec, in a fresh prefix with
# a stray C:\Program.exe (an unquoted service path would start it):
#   /i        the executable in Program Files\VlmRefresh, the service
#             registered as -i does it (quoted path, automatic start, the
#             description, the event source, the failure actions) and running;
#   upgrade   as Windows does it (the old version's removal told so by
#             UPGRADINGPRODUCTCODE, then the new one installed): the service
#             and its counter value stay registered;
#   upgrade   as Wine's msiexec does it (one command, the old version's
#             removal not told): the new executable runs;
#   /x        the service stopped and removed, the executable gone.
# config.ini and log\ are the administrator's and stay throughout.
# Wine's msiexec does not wait for the service to stop (Windows Installer
# does: the ServiceControl row asks it to), so the files of a service still
# stopping would be in use; the test stops the service itself before each
# upgrade and the removal.
#
#   MsiTest.sh WINDOWS_BUILD_DIR
set -u
win=$1
src=$(cd "$(dirname "$0")/../.." && pwd)
[ -f "$win/VlmRefreshSvc.exe" ] && [ -f "$win/ServiceCtl.exe" ] ||
  { echo "FAIL: build the windows preset first ($win/VlmRefreshSvc.exe, ServiceCtl.exe)"; exit 1; }
command -v wixl >/dev/null || { echo "FAIL: wixl is missing (tools/install-deps.sh installs it)"; exit 1; }
export VLM_WINEPREFIX="${VLM_WINEPREFIX:-$src/build/wineprefix}/vlm-msi-test"
work=$(mktemp -d /tmp/vlm-msi-wine.XXXXXX)
cleanup() { WINEPREFIX="$VLM_WINEPREFIX" wineserver -k 2>/dev/null; rm -rf "$work"; }
trap cleanup EXIT
# shellcheck source=tests/support/checks.sh
. "$src/tests/support/checks.sh"
wine() { "$src/tools/wine-run.sh" "$@" 2>/dev/null | tr -d '\r'; }
t0=$(date +%s)

# Three packages of rising version, each executable marked as its own.
IFS=. read -r major minor patch < <(sed -n 's/^project(VlmRefresh VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
for n in 1 2 3; do
  mkdir "$work/v$n"
  { cat "$win/VlmRefreshSvc.exe"; echo "msi test build $n"; } >"$work/v$n/VlmRefreshSvc.exe"
  "$src/tools/make-msi.sh" "$work/v$n" "$major.$minor.$((patch + n))" "$work/v$n.msi" || fail "wixl: v$n.msi"
done
cp "$win/ServiceCtl.exe" "$work/"

# A fresh prefix whose server (and service manager) lives through the test;
# the manager's notes on what it does not implement go to scm.log.
WINEPREFIX="$VLM_WINEPREFIX" wineserver -k 2>/dev/null
rm -rf "$VLM_WINEPREFIX"
mkdir -p "$VLM_WINEPREFIX"
WINEDEBUG=-all,fixme+service "$src/tools/wine-run.sh" cmd /c exit 2>"$work/scm.log"
WINEPREFIX="$VLM_WINEPREFIX" wineserver -p
dir="$VLM_WINEPREFIX/drive_c/Program Files/VlmRefresh"
cp "$work/ServiceCtl.exe" "$VLM_WINEPREFIX/drive_c/Program.exe"
svckey='HKLM\SYSTEM\CurrentControlSet\Services\VlmRefresh'

# msi ARGS...: msiexec ARGS /qn, checked to end with 0 (a Windows Installer
# code above 255 shows modulo 256).
msi() {
  "$src/tools/wine-run.sh" msiexec "$@" /qn >/dev/null 2>&1
  local rc=$?
  check "msiexec $* (exit code $rc)" [ $rc = 0 ]
}
pkg() { echo "Z:$(echo "$work/v$1.msi" | tr / '\\')"; }
state() { wine "$work/ServiceCtl.exe" VlmRefresh query; }
stop() { wine "$work/ServiceCtl.exe" VlmRefresh control:1 wait:1:5000 >/dev/null; }
# installed N: build N's executable is in place and the service runs it.
installed() {
  check "v$1's executable installed" cmp -s "$work/v$1/VlmRefreshSvc.exe" "$dir/VlmRefreshSvc.exe"
  check "service running: $(state)" [ "$(state)" = "state 4 exit 0" ]
}
# kept: the administrator's config.ini line and file in log\ are still there.
kept() { check "config.ini and log\\ kept ($1)" eval 'grep -aq "^;mine" "$dir/config.ini" && [ -f "$dir/log/mine.txt" ]'; }

msi /i "$(pkg 1)"
installed 1
wine reg query "$svckey" >"$work/reg.txt"
check "ImagePath quoted, automatic start, description: $(grep -a -E 'ImagePath|Start ' "$work/reg.txt" | tr -s ' \n' '  ')" \
  eval 'grep -aqx " *ImagePath *REG_SZ *\"C:\\\\Program Files\\\\VlmRefresh\\\\VlmRefreshSvc.exe\"" "$work/reg.txt" &&
        grep -aqx " *Start *REG_DWORD *0x2" "$work/reg.txt" && grep -aq " Description .*Velmora" "$work/reg.txt"'
check "event source" eval 'wine reg query "HKLM\SYSTEM\CurrentControlSet\Services\EventLog\Application\VlmRefresh" |
  grep -aq "EventMessageFile.*Program Files.VlmRefresh.VlmRefreshSvc.exe"'
check "failure actions handed to the manager (Wine keeps none)" grep -aq 'FAILURE_ACTIONS .*period 86400 ' "$work/scm.log"
printf ';mine\r\n' >>"$dir/config.ini"
echo mine >"$dir/log/mine.txt"
wine reg add "$svckey\\Parameters" /v Start /t REG_DWORD /d 10 /f >/dev/null

# The upgrade as Windows Installer runs it, in two steps.
msi /x "$(pkg 1)" UPGRADINGPRODUCTCODE="{00000000-0000-0000-0000-000000000000}"
check "removal within an upgrade: stopped by msiexec, still registered: $(state)" \
  wait_for 30 eval '[ "$(state)" = "state 1 exit 0" ]'
msi /i "$(pkg 2)"
installed 2
check "counter value kept" eval 'wine reg query "$svckey\\Parameters" | grep -aq "Start.*0xa"'
kept "Windows upgrade"

# The upgrade as Wine's msiexec runs it: the old version removed in full.
stop
msi /i "$(pkg 3)"
installed 3
kept "Wine upgrade"
versions() { wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | grep -a DisplayVersion | tr -s ' '; }
check "only the new version registered: $(versions)" [ "$(versions)" = " DisplayVersion REG_SZ $major.$minor.$((patch + 3))" ]

stop
msi /x "$(pkg 3)"
check "removed: service gone, executable gone: $(state)" \
  eval 'wait_for 30 eval "[ \"\$(state)\" = \"open error 1060\" ]" && [ ! -f "$dir/VlmRefreshSvc.exe" ]'
kept "removal"
echo "MSI test: $(($(date +%s) - t0)) s"
checks_result
