#!/bin/sh
# Makes links with the shortcut component on Wine's shell, then reads them
# back from Linux with lnkinfo and checks what each holds: target, working
# directory, description, arguments, icon, show command and file name.
# Usage: check_links.sh WINE_RUN TEST_SETUP_EXE OUTPUT_DIR LNKINFO
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
if ! VX_LINK_OUTPUT="$win_out" "$run" "$exe" --gtest_filter='SystemShellLinks.D*' \
    >"$out/run.log" 2>&1; then
  cat "$out/run.log"
  echo "FAIL: the links could not be made"
  exit 1
fi

status=0

# Checks a link as the installation makes it.
check_installation_link() {  # LINK
  expect "$1" "Local path" "$win_out\\product\\vestrix.exe"
  expect "$1" "Working directory" "$win_out\\product"
  expect "$1" "Description" "Model Tool"
  expect "$1" "Command line arguments" ""
  expect "$1" "Icon location" "<absent>"
  expect "$1" "Icon index" "0"
  expect_show "$1" 1
}

for name in desktop programs directory; do
  [ -s "$out/$name.lnk" ] || fail "no $name link was kept"
done
[ $status -eq 0 ] || exit 1

check_installation_link "$out/desktop.lnk"
check_installation_link "$out/programs.lnk"
expect_name desktop '\Desktop\Model Tool.lnk'
expect_name programs '\Start Menu\Programs\Model Tool.lnk'

link="$out/directory.lnk"
expect "$link" "Local path" "$win_out\\product\\vestrix.exe"
expect "$link" "Working directory" "<absent>"
expect "$link" "Description" "Units converter"
expect "$link" "Command line arguments" "-batch units.dat"
expect "$link" "Icon location" "$win_out\\product\\icons.dll"
expect "$link" "Icon index" "2"
expect_show "$link" 2
expect_name directory '\Shortcut to vestrix.exe.lnk'

if [ $status -eq 0 ]; then
  # The checks can fail: the directory link is no installation link.
  mistakes=$(check_installation_link "$link" | grep -c '^FAIL')
  [ "$mistakes" -ge 4 ] || fail "the installation checks accept the directory link ($mistakes mistakes seen)"
fi

if [ $status -eq 0 ]; then
  echo "links read back from Linux:"
  "$lnkinfo" "$out/desktop.lnk" | sed -n '/^Link information:/,/^$/p'
fi
exit $status
