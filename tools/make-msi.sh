#!/bin/sh
# Makes the Windows Installer package of VlmRefresh from a Windows build
# (packaging/windows/VlmRefresh.wxs says what it holds and does):
#   tools/make-msi.sh DIR VERSION OUT.msi
# DIR holds VlmRefreshSvc.exe; VERSION is major.minor.patch. Needs wixl
# (Debian package wixl, from msitools).
set -eu
[ $# -eq 3 ] || { echo "usage: $0 DIR VERSION OUT.msi" >&2; exit 2; }
wxs=$(cd "$(dirname "$0")/.." && pwd)/packaging/windows/VlmRefresh.wxs
out=$(cd "$(dirname "$3")" && pwd)/$(basename "$3")
# wixl takes file sources relative to the current directory only.
cd "$1"
wixl -a x64 -D ExeDir=. -D "Version=$2" -o "$out" "$wxs"
