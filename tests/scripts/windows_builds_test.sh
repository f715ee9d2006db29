#!/usr/bin/env bash
# The comparison of the two Windows builds' ctest logs that scripts/test makes:
# a test the 64-bit build ran but the 32-bit build did not must be reported
# (it fails CI), and two logs that ran alike must give no report.
set -uo pipefail
source "$(dirname "$0")/../../scripts/lib.sh"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# A ctest log: the total, then the tests that did not run as "name (Status)".
log() {  # file total [name (Status)]...
  local file=$1 total=$2 number=1
  shift 2
  {
    echo "100% tests passed, 0 tests failed out of $total"
    echo
    echo "Total Test time (real) = 1.00 sec"
    if [ $# -gt 0 ]; then
      echo
      echo "The following tests did not run:"
      for entry in "$@"; do
        printf '\t%3d - %s\n' "$number" "$entry"
        number=$((number + 7))
      done
    fi
  } >"$file"
}

failures=0
check() {  # description expected-pattern (empty: no report) log reference
  local description=$1 expected=$2 got
  got=$(vx_tests_missing_from "$3" "$4")
  if [ -z "$expected" ] && [ -n "$got" ]; then
    echo "FAIL: $description: expected no report, got: $got"
    failures=$((failures + 1))
  elif [ -n "$expected" ] && ! [[ "$got" =~ $expected ]]; then
    echo "FAIL: $description: expected /$expected/, got: '$got'"
    failures=$((failures + 1))
  else
    echo "ok: $description"
  fi
}

log "$work/w64" 310 "archive.ZipCrypto.Producers (Skipped)" "archive.Oracle.Unzip (Skipped)"

log "$work/same" 310 "archive.Oracle.Unzip (Skipped)" "archive.ZipCrypto.Producers (Skipped)"
check "the same tests skipped, listed in another order" "" "$work/same" "$work/w64"

log "$work/fewer" 310 "archive.Oracle.Unzip (Skipped)"
check "fewer skipped than the reference" "" "$work/fewer" "$work/w64"

log "$work/extra" 310 "archive.ZipCrypto.Producers (Skipped)" "e2e.Setup.ShowsTheMainWindow (Skipped)" \
  "archive.Oracle.Unzip (Skipped)"
check "one more test skipped" "^1 test\(s\) did not run: e2e\.Setup\.ShowsTheMainWindow $" \
  "$work/extra" "$work/w64"

log "$work/missing" 310 "archive.ZipCrypto.Producers (Skipped)" "archive.Oracle.Unzip (Skipped)" \
  "gui.Gauge.Paints (Not Run)" "util.Paths/Join.Each/3 (Disabled)"
check "a missing and a disabled test" "^2 test\(s\) did not run: gui\.Gauge\.Paints util\.Paths/Join\.Each/3 $" \
  "$work/missing" "$work/w64"

log "$work/smaller" 297 "archive.ZipCrypto.Producers (Skipped)" "archive.Oracle.Unzip (Skipped)"
check "a test program that was never discovered" "^297 tests ran, against 310$" \
  "$work/smaller" "$work/w64"

printf 'Test project /build/win32\nErrors while running CTest\n' >"$work/crashed"
check "a run without a summary line" "^0 tests ran, against 310$" "$work/crashed" "$work/w64"

check "no log at all" "^0 tests ran, against 310$" "$work/absent" "$work/w64"

[ "$failures" -eq 0 ]
