#!/bin/bash
# The Windows Installer package under Wine's msiexec, in a fresh prefix with
# a stray C:\Program.exe (an unquoted service path would start it):
#   /i        the executable in Program Files\VlmRefresh, the service
#             registered by -i and running (from "Program Files": its path is
#             quoted; what else -i registers is service.wine's);
#   upgrade   as Windows does it (the old version's removal told so by
#             UPGRADINGPRODUCTCODE, then the new one installed): the service,
#             stopped by msiexec, and its counter value stay registered;
#   upgrade   as Wine's msiexec does it (one command, the old version's
#             removal not told): the new executable runs, the old version is
#             gone;
#   /x        the service removed, the executable gone.
# config.ini and log\ are the administrator's and stay throughout.
# Wine's msiexec does not wait for the service to stop (Windows Installer
# does: the ServiceControl row asks it to), so the files of a service still
# stopping would be in use; the test stops the service itself before the
# second upgrade and the removal.
#
#   MsiTest.sh WINDOWS_BUILD_DIR
set -u
win=$1
# shellcheck source=tests/service-wine/WineSetup.sh
. "$(dirname "$0")/WineSetup.sh" vlm-msi-test
command -v wixl >/dev/null || { echo "FAIL: wixl is missing (tools/install-deps.sh installs it)"; exit 1; }
wine() { "$src/tools/wine-run.sh" "$@" 2>/dev/null | tr -d '\r'; }

# Three packages of rising version, each executable marked as its own.
IFS=. read -r major minor patch < <(sed -n 's/^project(VlmRefresh VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
for n in 1 2 3; do
  mkdir "$base/v$n"
  { cat "$win/VlmRefreshSvc.exe"; echo "msi test build $n"; } >"$base/v$n/VlmRefreshSvc.exe"
  "$src/tools/make-msi.sh" "$base/v$n" "$major.$minor.$((patch + n))" "$base/v$n.msi" || fail "wixl: v$n.msi"
done
dir="$VLM_WINEPREFIX/drive_c/Program Files/VlmRefresh"
cp "$win/ServiceCtl.exe" "$VLM_WINEPREFIX/drive_c/Program.exe"
svckey='HKLM\SYSTEM\CurrentControlSet\Services\VlmRefresh'

# msi ARGS...: msiexec ARGS /qn, checked to end with 0 (Windows Installer's
# codes show modulo 256).
msi() { "$src/tools/wine-run.sh" msiexec "$@" /qn >/dev/null 2>&1; check "msiexec $* (exit code $?)" [ $? = 0 ]; }
pkg() { echo "Z:$(echo "$base/v$1.msi" | tr / '\\')"; }
state() { ctl query; echo "${ctl[0]:-}"; }
stop() { ctl control:1 wait:1:5000; }
# installed N WHEN: build N's executable is in place and the service runs;
# the administrator's config.ini line and file in log\ are still there.
installed() {
  check "v$1's executable installed" cmp -s "$base/v$1/VlmRefreshSvc.exe" "$dir/VlmRefreshSvc.exe"
  check "service running: $(state)" [ "$(state)" = "state 4 exit 0" ]
  [ -z "$2" ] || kept "$2"
}
kept() { check "config.ini and log\\ kept ($1)" eval 'grep -aq "^;mine" "$dir/config.ini" && [ -f "$dir/log/mine.txt" ]'
}

msi /i "$(pkg 1)"
installed 1 ""
printf ';mine\r\n' >>"$dir/config.ini"
echo mine >"$dir/log/mine.txt"
wine reg add "$svckey\\Parameters" /v Start /t REG_DWORD /d 10 /f >/dev/null

msi /x "$(pkg 1)" UPGRADINGPRODUCTCODE="{00000000-0000-0000-0000-000000000000}"
check "removal within an upgrade: stopped by msiexec, still registered: $(state)" \
  wait_for 30 eval '[ "$(state)" = "state 1 exit 0" ]'
msi /i "$(pkg 2)"
installed 2 "Windows upgrade"
check "counter value kept" eval 'wine reg query "$svckey\\Parameters" | grep -aq "Start.*0xa"'

stop
msi /i "$(pkg 3)"
installed 3 "Wine upgrade"
versions=$(wine reg query 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' /s | awk '/DisplayVersion/ { print $3 }')
check "only the new version registered: $versions" [ "$versions" = "$major.$minor.$((patch + 3))" ]

stop
msi /x "$(pkg 3)"
check "removed: service gone, executable gone: $(state)" \
  eval 'wait_for 30 eval "[ \"\$(state)\" = \"open error 1060\" ]" && [ ! -f "$dir/VlmRefreshSvc.exe" ]'
kept "removal"
checks_result
