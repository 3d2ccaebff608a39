# The checks of the shell tests (the Wine service test, the systemd tests,
# the first-start script).
# Source it from bash; failures counts the checks that failed.
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }
pass() { echo "ok:   $*"; }
# check DESCRIPTION COMMAND...: pass when the command succeeds, else fail.
check() { local what=$1; shift; if "$@"; then pass "$what"; else fail "$what"; return 1; fi; }
# The end of a test script: exit code 1 when a check failed, else 0.
checks_result() { echo "$failures check(s) failed"; exit $((failures != 0)); }
# wait_for TENTHS COMMAND...: runs the command every 0.1 s until it succeeds
# (true) or TENTHS tries have failed (false).
wait_for() {
  local n=$1 i
  shift
  for i in $(seq "$n"); do "$@" && return 0; sleep 0.1; done
  return 1
}
