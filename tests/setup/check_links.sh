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

if [ -z "$lnkinfo" ] || [ ! -x "$lnkinfo" ]; then
  echo "lnkinfo (liblnk-utils) is not installed"
  [ "${VX_REQUIRE_TESTDATA:-}" = 1 ] && exit 1
  exit 77
fi

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
fail() {
  printf 'FAIL: %s\n' "$*"
  status=1
}

# The value lnkinfo shows for a field of the link information; "<absent>"
# when it shows no such field.
field() {
  "$lnkinfo" "$1" 2>/dev/null | awk -v key="$2" '
    { line = $0; sub(/^\t/, "", line) }
    index(line, key) == 1 && substr(line, length(key) + 1) ~ /^\t*: / {
      sub(/^[^:]*: /, "", line); print line; found = 1; exit
    }
    END { if (!found) print "<absent>" }'
}

expect() {  # LINK FIELD VALUE
  actual=$(field "$1" "$2")
  [ "$actual" = "$3" ] || fail "$(basename "$1"): $2 is '$actual', expected '$3'"
}

# The show command, read from the link's header (offset 0x3C): this lnkinfo
# release always prints 0 for it.
expect_show() {  # LINK VALUE
  actual=$(od -An -t u4 -j 60 -N 4 "$1" | tr -d ' ')
  [ "$actual" = "$2" ] || fail "$(basename "$1"): show command is $actual, expected $2"
}

expect_name() {  # NAME TAIL
  listed=$(grep "^$1|" "$out/links.txt" | cut -d'|' -f2 | tr -d '\r')
  case "$listed" in
    *"$2") ;;
    *) fail "$1: link file is '$listed', expected one ending in '$2'" ;;
  esac
}

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
