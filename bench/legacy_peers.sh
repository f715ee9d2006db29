#!/usr/bin/env bash
# Whole-process comparison on the legacy methods: `vxzip test` against
# `unzip -tq` and `7z t` on PKZIP archives whose members are imploded
# (PKZ110EI.ZIP) and shrunk (PKZ80A1.ZIP), plus one reduced set (PKZ90B4.ZIP),
# which unzip and 7-Zip as packaged here refuse ("fail" in their rows).
# Each command runs RUNS times in turn, the tools interleaved so that a noisy
# neighbour hurts all of them alike; medians and the ratio vxzip/tool are
# printed (below 1 means vxzip is faster).
#
# Usage: bench/legacy_peers.sh   (after scripts/build native-release)
# Environment: VXZIP (the binary), RUNS (default 7), PKZIP_DIR (the archives).
set -euo pipefail
cd "$(dirname "$0")/.."

vxzip=${VXZIP:-build/native-release/bin/vxzip}
runs=${RUNS:-7}
pkzip=${PKZIP_DIR:-../shared/testdata/pkzip-dos}
if [ ! -x "$vxzip" ]; then
  echo "legacy_peers: skipped, no $vxzip (build native-release first)"
  exit 0
fi
if [ ! -d "$pkzip" ]; then
  echo "legacy_peers: skipped, no PKZIP archives in $pkzip"
  exit 0
fi
seven=$(command -v 7z || command -v 7zz || command -v 7za || true)

# Wall time in seconds of one run; "fail" when the command fails.
time_once() {
  local start end
  start=$(date +%s%N)
  if "$@" >/dev/null 2>&1; then
    end=$(date +%s%N)
    awk -v ns=$((end - start)) 'BEGIN { printf "%.4f\n", ns / 1e9 }'
  else
    echo fail
  fi
}

median() {
  tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "n/a"; exit }
    for (i = 1; i <= NR; i++) if (v[i] == "fail") { print "fail"; exit }
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

test_cmd() {  # tool archive
  case $1 in
    vxzip) echo "$vxzip test $2" ;;
    unzip) echo "unzip -tq $2" ;;
    7z) echo "$seven t -bso0 -bsp0 $2" ;;
  esac
}

tools=(vxzip)
command -v unzip >/dev/null && tools+=(unzip)
[ -n "$seven" ] && tools+=(7z)

printf '%-14s %-8s %10s %10s\n' "archive" "tool" "median s" "vxzip/x"
for name in PKZ110EI.ZIP PKZ80A1.ZIP PKZ90B4.ZIP; do
  archive=$pkzip/$name
  [ -f "$archive" ] || continue
  declare -A samples=()
  for _ in $(seq "$runs"); do
    for tool in "${tools[@]}"; do
      # shellcheck disable=SC2046
      samples[$tool]+=" $(time_once $(test_cmd "$tool" "$archive"))"
    done
  done
  ours=$(echo "${samples[vxzip]}" | median)
  for tool in "${tools[@]}"; do
    m=$(echo "${samples[$tool]}" | median)
    ratio=$(awk -v a="$ours" -v b="$m" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b; else print "-" }')
    printf '%-14s %-8s %10s %10s\n' "$name" "$tool" "$m" "$ratio"
  done
  unset samples
done
