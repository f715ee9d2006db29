#!/usr/bin/env bash
# scripts/check-layers on small trees: a Windows or backend header outside
# src/platform and src/gui fails it, the same includes inside them do not,
# and the real tree passes.
set -uo pipefail
here=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

failures=0
expect() {  # description expected-status tree [line the output must name]
  local description=$1 expected=$2 tree=$3 named=${4:-} output status
  output=$("$here/scripts/check-layers" "$tree" 2>&1)
  status=$?
  if [ "$status" -ne "$expected" ]; then
    echo "FAIL: $description: exit $status, expected $expected: $output"
    failures=$((failures + 1))
  elif [ -n "$named" ] && ! grep -qF "$named" <<<"$output"; then
    echo "FAIL: $description: output does not name $named: $output"
    failures=$((failures + 1))
  else
    echo "ok: $description"
  fi
}

tree() {  # name path include...
  local dir=$work/$1 file=$2
  shift 2
  mkdir -p "$dir/src/util" "$dir/apps" "$(dirname "$dir/$file")"
  printf '%s\n' "$@" >"$dir/$file"
  echo "$dir"
}

expect "the boundary may include Windows headers" 0 \
  "$(tree inside src/platform/win32/files.cpp '#include <windows.h>' '#include "platform/win32/windows_api.h"')"
expect "the windows may include them" 0 "$(tree gui src/gui/win32/gauge.cpp '#include <commctrl.h>')"
expect "portable headers anywhere" 0 "$(tree portable src/util/a.cpp '#include "platform/files.h"')"
expect "<windows.h> in a library above the boundary" 1 \
  "$(tree windows src/util/a.cpp '#include <Windows.h>')" "src/util/a.cpp:1"
expect "another SDK header" 1 "$(tree shell src/setup/b.h '  #  include <shlobj.h>')" "src/setup/b.h:1"
expect "a backend header in a program" 1 \
  "$(tree backend apps/vxzip/main.cpp '#include "platform/posix/path_map.h"')" "apps/vxzip/main.cpp:1"
expect "this tree" 0 "$here"

[ "$failures" -eq 0 ] || exit 1
