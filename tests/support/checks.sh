# shellcheck shell=bash
# Counted checks for the test scripts: check WHAT COMMAND... runs the command and counts it as
# passed or failed (printing "FAILED: WHAT"); checks_summary prints "N passed, N failed", the line
# ctest looks for.
passed=0
failed=0

check() {  # WHAT COMMAND...
  local what=$1
  shift
  if "$@"; then
    passed=$((passed + 1))
  else
    echo "FAILED: $what"
    failed=$((failed + 1))
  fi
}

checks_summary() { echo "$passed passed, $failed failed"; }
