#!/bin/sh
# The start of every "wine" test: needs-windows.sh FILE... -- COMMAND...
# runs the command when wine and the Windows build's FILEs are there; else
# the test is skipped (exit code 77, a "SKIP:" line with the reason), or
# fails where VLM_REQUIRE_WINE_TESTS=1 says that it must run (test-all.sh,
# which has just made the Windows build).
why=""
command -v wine >/dev/null 2>&1 || why="wine is not installed (tools/install-deps.sh installs it)"
for f; do
  shift && [ "$f" = -- ] && break
  [ -n "$why" ] || [ -f "$f" ] || why="$f is missing: build the windows preset first"
done
[ -z "$why" ] && exec "$@"
[ "${VLM_REQUIRE_WINE_TESTS:-0}" = 1 ] && echo "FAIL: $why" && exit 1
echo "SKIP: $why" && exit 77
