# Shared by the project's scripts: Wine and display set-up for a build tree.

# Starts a persistent wineserver for the prefix of a Windows build tree, so each
# test program starts in a fraction of a second instead of seconds.
vx_wine_up() {
  local build_dir=$1
  export WINEPREFIX="$build_dir/wineprefix"
  export WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  /usr/lib/wine/wineserver -p
  if [ ! -f "$WINEPREFIX/.vx-ready" ]; then
    echo "wine: preparing prefix $WINEPREFIX"
    /usr/lib/wine/wine64 wineboot --init >/dev/null 2>&1 || true
    touch "$WINEPREFIX/.vx-ready"
  fi
  # Wine's own services start with the first program and inherit its output;
  # start them here with output discarded, or ctest would wait on their pipe.
  /usr/lib/wine/wine64 cmd /c exit >/dev/null 2>&1 </dev/null || true
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

vx_display_down() {
  [ -n "${VX_XVFB_PID:-}" ] && kill "$VX_XVFB_PID" 2>/dev/null || true
}
