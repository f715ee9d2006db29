#!/usr/bin/env bash
# Sets inflate_timer programs side by side: each one decodes the benchmark
# archive with one fast loop, the programs in turn, RUNS times, and the
# medians and minima of their seconds are printed with the ratios to the first
# program (on a shared machine the minimum is the steadier figure).
# Used to compare the 32-bit build's loop with the 64-bit build's (both under
# Wine) and a changed loop with the one before it.
#
# Usage: bench/inflate_ab.sh LABEL=RUNNER:PROGRAM:WORD ...
#   RUNNER  win32 or win64 (the build's wine-run), or native
#   PROGRAM an inflate_timer executable (any copy of one)
#   WORD    32 or 64, the fast loop to time
# Example, after building inflate_timer in build/win32-bench and build/win64-bench
# (cmake --preset win32 -B build/win32-bench -DVX_BENCHMARKS=ON -DVX_BUILD_TESTS=OFF):
#   bench/inflate_ab.sh win64=win64:build/win64-bench/bin/inflate_timer.exe:64 \
#                       win32=win32:build/win32-bench/bin/inflate_timer.exe:32
# Environment: RUNS (default 5), ROUNDS per run (default 3), ARCHIVE (default
# the deflate benchmark archive, which bench/vxzip_peers.sh makes).
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${RUNS:-5}
rounds=${ROUNDS:-3}
archive=${ARCHIVE:-build/bench-corpus/gcc-deflate.zip}
if [ ! -f "$archive" ]; then
  echo "inflate_ab: skipped, no $archive (bench/vxzip_peers.sh makes it)"
  exit 0
fi
[ $# -gt 0 ] || { sed -n '9,18p' "$0"; exit 2; }

labels=() runners=() programs=() words=()
for timer in "$@"; do
  label=${timer%%=*}
  rest=${timer#*=}
  IFS=: read -r runner program word <<<"$rest"
  case $runner in
    native) runners+=("") ;;
    win32 | win64)
      [ -x "build/$runner/wine-run" ] || { echo "inflate_ab: no build/$runner/wine-run"; exit 1; }
      runners+=("build/$runner/wine-run") ;;
    *) echo "inflate_ab: runner '$runner' is not win32, win64 or native"; exit 2 ;;
  esac
  [ -f "$program" ] || { echo "inflate_ab: no $program"; exit 1; }
  labels+=("$label") programs+=("$program") words+=("$word")
done

# A persistent wineserver per prefix used, so each start is quick.
servers=()
for runner in win32 win64; do
  if printf '%s\n' "${runners[@]}" | grep -qx "build/$runner/wine-run"; then
    servers+=("$PWD/build/$runner/wineprefix")
  fi
done
servers_down() {
  local prefix
  for prefix in "${servers[@]}"; do WINEPREFIX=$prefix /usr/lib/wine/wineserver -k 2>/dev/null || true; done
}
trap servers_down EXIT
for prefix in "${servers[@]}"; do (WINEPREFIX=$prefix /usr/lib/wine/wineserver -p >/dev/null 2>&1 || true); done

declare -A seconds=()
for _ in $(seq "$runs"); do
  for i in "${!labels[@]}"; do
    # shellcheck disable=SC2086
    line=$(${runners[$i]} "${programs[$i]}" "$archive" "$rounds" "${words[$i]}" | grep '^word ')
    seconds[$i]+=" $(echo "$line" | awk '{ print $3 }')"
  done
done

median() {
  tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END {
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}
least() { tr ' ' '\n' | grep -v '^$' | sort -g | head -1; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.3f", a / b }'; }
base=$(echo "${seconds[0]}" | median)
base_min=$(echo "${seconds[0]}" | least)
printf '%-16s %9s %7s %9s %7s   %s\n' "program" "median s" "ratio" "min s" "ratio" "all runs"
for i in "${!labels[@]}"; do
  m=$(echo "${seconds[$i]}" | median)
  l=$(echo "${seconds[$i]}" | least)
  printf '%-16s %9s %7s %9s %7s  %s\n' "${labels[$i]}" "$m" "$(ratio "$m" "$base")" "$l" \
    "$(ratio "$l" "$base_min")" "${seconds[$i]}"
done
