# shellcheck shell=bash disable=SC2154,SC2034  # $win is set and ctl[] read by the sourcing test
# What the Wine service tests share: ". WineSetup.sh NAME" with $win (the
# windows build) set; NAME names the test's prefix and temporary directory.
# It makes a fresh prefix inside the run's prefix directory whose Wine server
# stays up until the test ends: a server that ends when idle takes its
# service manager with it, and the next Wine command would start a new one
# that starts an automatic service by itself. The service manager's notes on
# what it does not implement go to $base/scm.log. $base, a new temporary
# directory, and the page server $server_pid go at the end.
src=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)
# shellcheck source=tests/support/checks.sh
. "$src/tests/support/checks.sh"
export VLM_WINEPREFIX="${VLM_WINEPREFIX:-$src/build/wineprefix}/$1"
base=$(mktemp -d "/tmp/$1.XXXXXX")
server_pid=""
cleanup() {
  [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null
  WINEPREFIX="$VLM_WINEPREFIX" wineserver -k 2>/dev/null
  rm -rf "$base"
}
trap cleanup EXIT
WINEPREFIX="$VLM_WINEPREFIX" wineserver -k 2>/dev/null
rm -rf "$VLM_WINEPREFIX"
mkdir -p "$VLM_WINEPREFIX"
WINEPREFIX="$VLM_WINEPREFIX" wineserver -p
WINEDEBUG=-all,fixme+service "$src/tools/wine-run.sh" cmd /c exit 2>"$base/scm.log"
cp "$win/ServiceCtl.exe" "$base/"
# ctl ARGS...: ServiceCtl.exe on the service; its lines (CR removed) in ctl[].
ctl() {
  "$src/tools/wine-run.sh" "$base/ServiceCtl.exe" VlmRefresh "$@" 2>/dev/null | tr -d '\r' >"$base/ctl.txt"
  mapfile -t ctl <"$base/ctl.txt"
}
