#!/usr/bin/env bash
# The executable flavour scan against GNU grep on the same file: 256 MiB of
# executable bytes (the system's shared libraries, concatenated), searched
# for the same ten markers ignoring letter case. grep runs in the C locale,
# its fastest mode, with the byte semantics our scan has. Each side runs
# RUNS times in turn and the best time counts; the ratio is grep's time over
# ours (above 1: we are faster).
#
# Usage: bench/diag_peers.sh   (after scripts/build native-release)
# Environment: SCANNER (the timer binary), RUNS (default 3), SIZE_MIB (256).
set -euo pipefail
cd "$(dirname "$0")/.."

scanner=${SCANNER:-build/native-release/bin/diag_scan_timer}
runs=${RUNS:-3}
size_mib=${SIZE_MIB:-256}
[ -x "$scanner" ] || { echo "diag_peers: no $scanner; build native-release first" >&2; exit 1; }
dir=build/bench-corpus
mkdir -p "$dir"
corpus=$dir/executables-${size_mib}m.bin
if [ ! -f "$corpus" ]; then
  echo "making $corpus from the shared libraries in /usr/lib" >&2
  find /usr/lib -type f \( -name '*.so' -o -name '*.so.*' -o -name '*.dll' -o -name '*.exe' \) \
      -size +64k -print0 2>/dev/null | sort -z | xargs -0 cat 2>/dev/null |
    head -c $((size_mib * 1024 * 1024)) > "$corpus.tmp" || true
  [ "$(stat -c %s "$corpus.tmp")" -eq $((size_mib * 1024 * 1024)) ] ||
    { echo "diag_peers: not enough executable bytes under /usr/lib" >&2; exit 1; }
  mv "$corpus.tmp" "$corpus"
fi
markers=$dir/flavour-markers.txt
printf '%s\n' 'BORLAND\DELPHI' 'LAHEY COMPUTER SYSTEMS INC.' 'VESTRIX' 'LF95V' '_ILLIGAL_' \
  'PHAR LAP' '386|VMM' '32-bit power' 'DEADLOCK ERROR' 'Intel Fortran' > "$markers"
cat "$corpus" > /dev/null  # both read it from the page cache

best_grep=
for _ in $(seq "$runs"); do
  start=$(date +%s.%N)
  lines=$(LC_ALL=C grep -a -i -F -c -f "$markers" "$corpus" || true)
  end=$(date +%s.%N)
  t=$(echo "$end - $start" | bc -l)
  if [ -z "$best_grep" ] || [ "$(echo "$t < $best_grep" | bc -l)" = 1 ]; then best_grep=$t; fi
  ours=$(RUNS=1 "$scanner" "$corpus")
  t_ours=${ours%% s *}
  if [ -z "${best_ours:-}" ] || [ "$(echo "$t_ours < $best_ours" | bc -l)" = 1 ]; then
    best_ours=$t_ours
  fi
done
printf 'file: %s (%s MiB)\n' "$corpus" "$size_mib"
printf 'grep -a -i -F -c -f (LC_ALL=C): %.3f s  (%s matching lines)\n' "$best_grep" "$lines"
printf 'ScanExeSignatures:              %.3f s  (%s)\n' "$best_ours" "${ours#* s  }"
printf 'ratio grep/ours: %.2f\n' "$(echo "$best_grep / $best_ours" | bc -l)"
