#!/bin/sh
# Runs the full installation case of the end-to-end tests with its links
# kept, then reads the Desktop and Start Menu links back from Linux with
# lnkinfo: target, working directory, description, no icon, file name.
# Usage: check_install_links.sh WINE_RUN TEST_E2E_EXE OUTPUT_DIR LNKINFO
# LNKINFO may be empty when the tool is missing: the test then skips (77),
# or fails when VX_REQUIRE_TESTDATA=1.
set -u
run=$1
exe=$2
out=$3
lnkinfo=$4

. "$(dirname "$0")/../support/lnk_checks.sh"
require_lnkinfo

rm -rf "$out"
mkdir -p "$out"
win_out="Z:$(printf '%s' "$out" | tr / '\\')"
if ! VX_LINK_OUTPUT="$win_out" "$run" "$exe" \
    --gtest_filter='InstallE2E.FullInstallWritesTheArchiveTree' >"$out/run.log" 2>&1; then
  cat "$out/run.log"
  echo "FAIL: the installation case did not pass"
  exit 1
fi

status=0

# A value the installation case wrote to expected.txt.
expected() {
  grep "^$1|" "$out/expected.txt" | cut -d'|' -f2- | tr -d '\r'
}

for name in desktop programs; do
  [ -s "$out/$name.lnk" ] || fail "no $name link was kept"
done
[ -s "$out/expected.txt" ] || fail "no expected values were kept"
[ $status -eq 0 ] || exit 1

target=$(expected target)
dir=$(expected directory)
title=$(expected description)
[ -n "$target" ] && [ -n "$dir" ] && [ -n "$title" ] || fail "expected.txt lacks a value"
for name in desktop programs; do
  link="$out/$name.lnk"
  expect "$link" "Local path" "$target"
  expect "$link" "Working directory" "$dir"
  expect "$link" "Description" "$title"
  expect "$link" "Command line arguments" ""
  expect "$link" "Icon location" "<absent>"
done
expect_name desktop "\\Desktop\\$title.lnk"
expect_name programs "\\Start Menu\\Programs\\$title.lnk"

if [ $status -eq 0 ]; then
  echo "installed links read back from Linux:"
  "$lnkinfo" "$out/desktop.lnk" | sed -n '/^Link information:/,/^$/p'
fi
exit $status
