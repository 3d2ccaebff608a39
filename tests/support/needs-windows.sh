#!/bin/sh
# The start of every "wine" test: needs-windows.sh DIR FILE... -- COMMAND...
# runs the command when wine and the FILEs of the Windows build in DIR are
# there; else the test is skipped (exit code 77, a "SKIP:" line with the
# reason), or fails where VLM_REQUIRE_WINE_TESTS=1 says that it must run
# (test-all.sh, which has just made the Windows build).
dir=$1 why="" && shift
command -v wine >/dev/null 2>&1 || why="wine is not installed (tools/install-deps.sh installs it)"
for f; do
  shift && [ "$f" = -- ] && break
  [ -n "$why" ] || [ -f "$dir/$f" ] || why="$dir/$f is missing: build the windows preset first"
done
[ -z "$why" ] && exec "$@"
[ "${VLM_REQUIRE_WINE_TESTS:-0}" = 1 ] && echo "FAIL: $why" && exit 1
echo "SKIP: $why" && exit 77
