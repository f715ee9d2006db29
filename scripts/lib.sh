# Shared by the project's scripts: Wine and display set-up for a build tree.

# Wine's two loaders: the 64-bit one runs the win64 build, the 32-bit one
# (Debian's wine32:i386) the win32 build.
VX_WINE64=/usr/lib/wine/wine64
VX_WINE32=/usr/lib/wine/wine

# The loader a Windows build tree's tests run under, as its configuration chose it.
vx_wine_loader() {
  local loader
  loader=$(sed -n 's/^VX_WINE:FILEPATH=//p' "$1/CMakeCache.txt" 2>/dev/null)
  echo "${loader:-$VX_WINE64}"
}

# Makes the Wine prefix $WINEPREFIX with `loader` unless it is ready. A prefix
# for 32-bit programs needs its syswow64 half: one made before wine32 was
# installed lacks it (every 32-bit program then fails to load kernel32.dll),
# so it is brought up to date through the 32-bit loader.
vx_wine_prefix() {
  local loader=$1
  if [ -f "$WINEPREFIX/.vx-ready" ]; then
    [ "$loader" != "$VX_WINE32" ] && return
    [ -f "$WINEPREFIX/drive_c/windows/syswow64/kernel32.dll" ] && return
    echo "wine: adding the 32-bit half to prefix $WINEPREFIX"
    rm -f "$WINEPREFIX/.update-timestamp"
    "$loader" wineboot --update >/dev/null 2>&1 </dev/null || true
    return
  fi
  echo "wine: preparing prefix $WINEPREFIX"
  "$loader" wineboot --init >/dev/null 2>&1 </dev/null || true
  # No prefix at all when the loader cannot start; the next call tries again.
  [ -d "$WINEPREFIX/drive_c" ] && touch "$WINEPREFIX/.vx-ready"
  return 0
}

# Wine links the user's Desktop, Documents and other shell folders to the
# Linux home directory, so links and files that the tests write there would
# land in $HOME and be shared by every prefix. Each prefix gets folders of its own.
vx_wine_own_folders() {
  local link
  for link in "$WINEPREFIX"/drive_c/users/*/*; do
    [ -L "$link" ] || continue
    rm -f "$link" && mkdir -p "$link"
  done
}

# Starts a persistent wineserver for the prefix of a Windows build tree, so each
# test program starts in a fraction of a second instead of seconds.
vx_wine_up() {
  local build_dir=$1
  local loader
  loader=$(vx_wine_loader "$build_dir")
  export WINEPREFIX="$build_dir/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  # The server needs the prefix directory; Wine fills an empty one.
  mkdir -p "$WINEPREFIX"
  /usr/lib/wine/wineserver -p
  vx_wine_prefix "$loader"
  vx_wine_own_folders
  # No menu builder: it would copy every link a test makes into the Linux
  # desktop's menus.
  "$loader" reg add 'HKCU\Software\Wine\DllOverrides' /v winemenubuilder.exe /d '' /f \
    >/dev/null 2>&1 </dev/null || true
  # Wine's own services start with the first program and inherit its output;
  # start them here with output discarded, or ctest would wait on their pipe.
  "$loader" cmd /c exit >/dev/null 2>&1 </dev/null || true
}

vx_wine_down() {
  [ -n "${WINEPREFIX:-}" ] && /usr/lib/wine/wineserver -k 2>/dev/null || true
}

# Gives the Windows GUI programs a display: the user's, or a private Xvfb.
vx_display_up() {
  if [ -n "${DISPLAY:-}" ] && [ -z "${VX_FORCE_XVFB:-}" ]; then return; fi
  local n
  for n in $(seq 91 120); do
    [ -e "/tmp/.X11-unix/X$n" ] || [ -e "/tmp/.X$n-lock" ] || break
  done
  Xvfb ":$n" -screen 0 1280x1024x24 -nolisten tcp >/dev/null 2>&1 &
  VX_XVFB_PID=$!
  export DISPLAY=":$n"
  for _ in $(seq 1 50); do
    [ -e "/tmp/.X11-unix/X$n" ] && return
    sleep 0.1
  done
}

# Ends the private Xvfb, if one was started, and forgets its display, so the
# next vx_display_up (the next Windows build's tests) starts a fresh one.
vx_display_down() {
  [ -n "${VX_XVFB_PID:-}" ] || return 0
  kill "$VX_XVFB_PID" 2>/dev/null || true
  unset VX_XVFB_PID DISPLAY
}

# Where vx_wine32_probe records its answer: "runs", or "fails: <why>", then
# the wine32 version and kernel it was found with.
VX_WINE32_PROBE=build/wine32-probe

# Finds out whether a 32-bit Windows program starts under Wine on this
# machine: builds a tiny one with the i686 compiler and runs it in the win32
# build's prefix (made here, so the tests find it ready). Probes again only
# when wine32 or the kernel changed. Run from the source tree's root.
vx_wine32_probe() {
  local key
  key="wine32 $(dpkg-query -W -f='${Version}' wine32:i386 2>/dev/null || echo none), kernel $(uname -r)"
  if [ -f "$VX_WINE32_PROBE" ] && [ "$(sed -n 2p "$VX_WINE32_PROBE")" = "$key" ]; then return 0; fi
  mkdir -p build
  local verdict
  verdict=$(vx_wine32_try "$PWD/build/wine32-probe.d" "$PWD/build/win32/wineprefix")
  printf '%s\n%s\n' "$verdict" "$key" >"$VX_WINE32_PROBE"
  echo "deps: 32-bit Windows programs under Wine: $verdict"
}

# Prints "runs" or "fails: <why>" for vx_wine32_probe.
vx_wine32_try() {
  local work=$1 prefix=$2
  [ -x "$VX_WINE32" ] || { echo "fails: wine32 is not installed"; return; }
  # The kernel may refuse i386 programs altogether (built without 32-bit
  # emulation, or booted with it off: Linux 6.7 and later take
  # ia32_emulation=on|off); then the loader itself does not start, and the
  # shell's fallback would only report a syntax error in it.
  local refused
  if ! refused=$("$VX_WINE32" --version 2>&1 >/dev/null); then
    echo "fails: this kernel does not run 32-bit programs (${refused##*: } starting $VX_WINE32)"
    return
  fi
  local cc=i686-w64-mingw32-gcc-posix
  command -v $cc >/dev/null || cc=i686-w64-mingw32-gcc
  mkdir -p "$work"
  # Exits with its pointer width in bits, so a wrong loader cannot pass.
  printf '%s\n' '#include <windows.h>' \
    'int main(void) { return GetCurrentProcessId() != 0 ? (int)sizeof(void*) * 8 : 1; }' \
    >"$work/probe.c"
  if ! $cc -O2 -static -o "$work/probe.exe" "$work/probe.c" 2>"$work/cc.log"; then
    echo "fails: $cc cannot build a 32-bit Windows program"
    return
  fi
  local status
  (
    export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
    mkdir -p "$(dirname "$prefix")"
    vx_wine_prefix "$VX_WINE32" >&2
    timeout 300 "$VX_WINE32" "$work/probe.exe" >/dev/null 2>"$work/run.log" </dev/null
    echo $? >"$work/status"
    /usr/lib/wine/wineserver -k 2>/dev/null || true
  )
  status=$(cat "$work/status")
  if [ "$status" = 32 ]; then
    echo "runs"
  else
    echo "fails: a 32-bit Windows program did not start (exit status $status: $(tail -1 "$work/run.log"))"
  fi
}

# Names of the tests a ctest log lists as not run (skipped, disabled, missing).
vx_tests_not_run() {
  sed -n '/The following tests did not run:/,/^$/p' "$1" 2>/dev/null |
    sed -nE 's/^[[:space:]]*[0-9]+ - (.*) \([A-Za-z ]+\)$/\1/p' | sort
}

# The total of a ctest log's summary line ("... out of N"); 0 without one.
vx_tests_total() {
  local total
  total=$(grep -E 'tests passed|tests failed' "$1" 2>/dev/null | tail -1 |
    sed -nE 's/.* out of ([0-9]+).*/\1/p')
  echo "${total:-0}"
}

# Prints what the ctest log `log` lacks against `reference`: the tests the
# reference ran that `log` did not, or a smaller total; nothing when `log`
# ran everything the reference did.
vx_tests_missing_from() {
  local log=$1 reference=$2 skipped total reference_total
  skipped=$(comm -23 <(vx_tests_not_run "$log") <(vx_tests_not_run "$reference"))
  if [ -n "$skipped" ]; then
    echo "$(echo "$skipped" | wc -l) test(s) did not run: $(echo "$skipped" | tr '\n' ' ')"
    return
  fi
  total=$(vx_tests_total "$log")
  reference_total=$(vx_tests_total "$reference")
  [ "$total" -lt "$reference_total" ] && echo "$total tests ran, against $reference_total"
  return 0
}
