#!/usr/bin/env bash
# scripts/check-imports on small programs made here with both mingw-w64
# compilers: one that imports only system libraries Windows always takes from
# its system directory passes; one that imports version.dll fails in both
# builds; a 32-bit one importing a function XP lacks fails.
# Exits 77 (skipped) without the compilers, or fails when VX_REQUIRE_TESTDATA=1.
set -uo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

for compiler in x86_64-w64-mingw32-gcc i686-w64-mingw32-gcc; do
  if ! command -v $compiler >/dev/null; then
    [ "${VX_REQUIRE_TESTDATA:-}" = 1 ] && { echo "FAIL: required but missing: $compiler"; exit 1; }
    echo "skipped: no $compiler"
    exit 77
  fi
done

cat >"$work/system_only.c" <<'C'
#include <windows.h>
int main(void) { return (int)GetTickCount() & (int)GetSysColor(COLOR_WINDOW) & 0; }
C
cat >"$work/with_version.c" <<'C'
#include <windows.h>
int main(void) { DWORD h; return (int)GetFileVersionInfoSizeA("x", &h); }
C
cat >"$work/newer_than_xp.c" <<'C'
#include <windows.h>
int main(void) { return (int)GetTickCount64() & 0; }
C

failures=0
check() {  # description expected-status expected-pattern program
  local output status
  output=$("$root/scripts/check-imports" "$4" 2>&1)
  status=$?
  if [ "$status" -ne "$2" ] || ! grep -q -- "$3" <<<"$output"; then
    echo "FAIL: $1: status $status, output:"
    echo "$output" | sed 's/^/  /'
    failures=$((failures + 1))
  else
    echo "ok: $1"
  fi
}

for target in x86_64 i686; do
  cc="$target-w64-mingw32-gcc"
  $cc -O2 -o "$work/system_only-$target.exe" "$work/system_only.c" -luser32 || exit 1
  $cc -O2 -o "$work/with_version-$target.exe" "$work/with_version.c" -lversion || exit 1
  expected="all system libraries"
  [ $target = i686 ] && expected="all system libraries, all on Windows XP SP3"
  check "$target: kernel32, user32 and msvcrt only" 0 "$expected" "$work/system_only-$target.exe"
  check "$target: version.dll imported" 1 "VERSION.DLL" "$work/with_version-$target.exe"
done
i686-w64-mingw32-gcc -O2 -D_WIN32_WINNT=0x0600 -o "$work/newer_than_xp.exe" \
  "$work/newer_than_xp.c" || exit 1
check "i686: a function newer than XP" 1 "KERNEL32.DLL!GetTickCount64" "$work/newer_than_xp.exe"

[ "$failures" -eq 0 ]
