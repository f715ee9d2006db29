# Shell functions for reading shell link files from Linux with lnkinfo,
# sourced by the link checks. The caller sets `lnkinfo` (the tool's path,
# empty when missing), `out` (the directory holding the links and
# links.txt, lines "NAME|WHERE THE LINK WAS MADE") and `status` (0); every
# failed check prints a FAIL line and sets `status` to 1.

# Exits 77 (skip) when lnkinfo is missing, 1 when VX_REQUIRE_TESTDATA=1.
require_lnkinfo() {
  if [ -z "$lnkinfo" ] || [ ! -x "$lnkinfo" ]; then
    echo "lnkinfo (liblnk-utils) is not installed"
    [ "${VX_REQUIRE_TESTDATA:-}" = 1 ] && exit 1
    exit 77
  fi
}

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

# Where the link listed as NAME in links.txt was made ends in TAIL.
expect_name() {  # NAME TAIL
  listed=$(grep "^$1|" "$out/links.txt" | cut -d'|' -f2 | tr -d '\r')
  case "$listed" in
    *"$2") ;;
    *) fail "$1: link file is '$listed', expected one ending in '$2'" ;;
  esac
}
