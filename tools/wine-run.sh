#!/bin/sh
# Runs a program of the Windows build under Wine: a private prefix made on
# first use (VLM_WINEPREFIX, default build/wineprefix in the source tree),
# the Chinese locale so that the ANSI code page is 936 (VLM_WINE_LANG names
# another), no Wine debug noise.
here=$(cd "$(dirname "$0")/.." && pwd)
: "${VLM_WINEPREFIX:=$here/build/wineprefix}"
mkdir -p "$VLM_WINEPREFIX"
export WINEPREFIX="$VLM_WINEPREFIX"
export WINEDEBUG="${WINEDEBUG:--all}"
export LANG="${VLM_WINE_LANG:-zh_CN.UTF-8}"
export LC_ALL="$LANG"
# No Mono or Gecko installers in a headless run.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
exec wine "$@"
