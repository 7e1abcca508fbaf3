# Pass and fail for the test stages, with the count: sourced, not run. Each
# check prints one line (ok or FAIL); finish_checks ends the stage with the
# count, status 1 when anything failed.
checks_passed=0
checks_failed=0
pass() { checks_passed=$((checks_passed + 1)); echo "ok    $1"; }
fail() { checks_failed=$((checks_failed + 1)); echo "FAIL  $1"; }

# finish_checks NAME: prints "NAME: N passed, M failed"; status 1 on a failure.
finish_checks() {
  echo "$1: $checks_passed passed, $checks_failed failed"
  [ "$checks_failed" -eq 0 ]
}

# give_up NAME REASON: a check that makes the rest pointless failed; ends the
# stage at once with the count.
give_up() {
  fail "$2"
  finish_checks "$1" || true
  exit 1
}
