#!/usr/bin/env bash
# The shipping 32-bit vxzip.exe against the 64-bit one: `vxzip.exe test` of
# the benchmark archive (bench/vxzip_peers.sh makes it) under Wine, each build
# in its own prefix with a persistent wineserver, the two interleaved RUNS
# times so that a noisy neighbour hurts both alike. Prints the medians of the
# wall time, the user processor time and the whole processor time (user +
# system), and the ratios 32-bit/64-bit. The user time is the program's own
# work (Wine's system time is the same for both builds): the 32-bit build
# should stay within 1.10 of the 64-bit one there.
#
# Usage: bench/vxzip_windows.sh   (after building vxzip in win64 and win32)
# Environment: RUNS (default 7), ARCHIVE (default the deflate benchmark archive).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

runs=${RUNS:-7}
archive=${ARCHIVE:-build/bench-corpus/gcc-deflate.zip}
if [ ! -f "$archive" ]; then
  echo "vxzip_windows: skipped, no $archive (bench/vxzip_peers.sh makes it)"
  exit 0
fi
builds=()
for preset in win64 win32; do
  if [ ! -x "build/$preset/bin/vxzip.exe" ] || [ ! -x "build/$preset/wine-run" ]; then
    echo "vxzip_windows: no build/$preset/bin/vxzip.exe, $preset left out"
    continue
  fi
  if [ "$preset" = win32 ] && [ "$(head -1 "$VX_WINE32_PROBE" 2>/dev/null)" != runs ]; then
    echo "vxzip_windows: 32-bit programs do not start under Wine here, win32 left out"
    continue
  fi
  builds+=("$preset")
done
[ ${#builds[@]} -gt 0 ] || exit 0

# One persistent wineserver per prefix, both up at once; the prefixes are
# left as the tests use them.
servers_down() {
  local preset
  for preset in "${builds[@]}"; do
    WINEPREFIX=$PWD/build/$preset/wineprefix /usr/lib/wine/wineserver -k 2>/dev/null || true
  done
}
trap servers_down EXIT
for preset in "${builds[@]}"; do
  (
    export WINEPREFIX=$PWD/build/$preset/wineprefix WINEDEBUG=-all
    mkdir -p "$WINEPREFIX"
    # A server still running for the prefix (a test run ending) serves as well.
    /usr/lib/wine/wineserver -p 2>/dev/null || true
    vx_wine_prefix "$(vx_wine_loader "build/$preset")"
  )
  # The first start brings up Wine's services; it is not timed.
  "build/$preset/wine-run" "build/$preset/bin/vxzip.exe" test "$archive" >/dev/null 2>&1 || true
done

# Wall, user and processor time (user + system) in seconds of one run, as
# "wall user cpu"; "fail fail fail" when the command fails. On a busy machine
# the wall time mostly measures the neighbours; the processor times stay
# close to the work. They are read from the kernel's account of the finished
# children in microseconds: printed to hundredths (as /usr/bin/time does), a
# 0.3 s run would move in steps of 3 %, as large as the differences measured.
time_once() {
  python3 - "$@" <<'PY'
import resource, subprocess, sys, time
start = time.monotonic()
done = subprocess.run(sys.argv[1:], stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                      stderr=subprocess.DEVNULL)
wall = time.monotonic() - start
used = resource.getrusage(resource.RUSAGE_CHILDREN)
if done.returncode != 0:
    print("fail fail fail")
else:
    print("%.4f %.4f %.4f" % (wall, used.ru_utime, used.ru_utime + used.ru_stime))
PY
}

median() {
  tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "n/a"; exit }
    if (v[1] == "fail") { print "fail"; exit }
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.3f", a / b; else print "-" }'
}

declare -A walls=() users=() cpus=()
for _ in $(seq "$runs"); do
  for preset in "${builds[@]}"; do
    read -r wall user cpu < <(time_once "build/$preset/wine-run" "build/$preset/bin/vxzip.exe" test "$archive")
    walls[$preset]+=" $wall"
    users[$preset]+=" $user"
    cpus[$preset]+=" $cpu"
  done
done

printf '%-16s %-24s %9s %8s %9s %8s %9s %8s\n' "archive" "build" "wall s" "x/win64" \
  "user s" "x/win64" "cpu s" "x/win64"
base_wall=$(echo "${walls[win64]:-}" | median)
base_user=$(echo "${users[win64]:-}" | median)
base_cpu=$(echo "${cpus[win64]:-}" | median)
for preset in "${builds[@]}"; do
  wall=$(echo "${walls[$preset]}" | median)
  user=$(echo "${users[$preset]}" | median)
  cpu=$(echo "${cpus[$preset]}" | median)
  printf '%-16s %-24s %9s %8s %9s %8s %9s %8s\n' "$(basename "$archive")" \
    "vxzip.exe test ($preset)" "$wall" "$(ratio "$wall" "$base_wall")" \
    "$user" "$(ratio "$user" "$base_user")" "$cpu" "$(ratio "$cpu" "$base_cpu")"
done
