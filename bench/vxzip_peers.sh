#!/usr/bin/env bash
# Whole-process comparison of vxzip with unzip, 7-Zip and bsdtar: extraction
# of the same archives into a tmpfs directory, then testing. Every command
# runs RUNS times in turn (the tools interleaved, so a noisy neighbour hurts
# all of them alike); medians and ratios to vxzip are printed, and the peak
# resident memory of vxzip while it extracts.
#
# Usage: bench/vxzip_peers.sh   (after scripts/build native-release)
# Environment: VXZIP (the binary), RUNS (default 5), CORPUS_SOURCE (the tree
# the archives are made of), CORPUS_DIR (where they are kept).
set -euo pipefail
cd "$(dirname "$0")/.."

vxzip=${VXZIP:-build/native-release/bin/vxzip}
runs=${RUNS:-5}
corpus_dir=${CORPUS_DIR:-build/bench-corpus}
if [ -z "${CORPUS_SOURCE:-}" ]; then
  for candidate in /usr/lib/gcc/x86_64-w64-mingw32/12-win32 /usr/lib/gcc/x86_64-w64-mingw32/12-posix; do
    if [ -d "$candidate" ]; then CORPUS_SOURCE=$candidate; break; fi
  done
fi
[ -x "$vxzip" ] || { echo "vxzip_peers: no $vxzip; build native-release first" >&2; exit 1; }
[ -d "${CORPUS_SOURCE:-}" ] || { echo "vxzip_peers: no corpus source tree" >&2; exit 1; }
seven=$(command -v 7z || command -v 7zz || command -v 7za || true)

mkdir -p "$corpus_dir"
deflate=$corpus_dir/gcc-deflate.zip
deflate64=$corpus_dir/gcc-deflate64.zip
stored=$corpus_dir/gcc-stored.zip
make_archive() {  # archive command...
  local archive=$1
  shift
  [ -f "$archive" ] && return
  echo "making $archive from $CORPUS_SOURCE" >&2
  (cd "$CORPUS_SOURCE" && "$@" "$OLDPWD/$archive.tmp" . >/dev/null) && mv "$archive.tmp" "$archive"
}
make_archive "$deflate" zip -q -r -6
make_archive "$stored" zip -q -r -0
if [ -n "$seven" ]; then make_archive "$deflate64" "$seven" a -bso0 -tzip -mm=Deflate64; fi

scratch=$(mktemp -d /dev/shm/vxbench.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

# Wall time in seconds of one run of a command; its output is discarded.
# Prints "fail" when the command fails.
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
    if (v[1] == "fail") { print "fail"; exit }
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%.4f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

# Extraction commands by tool; each writes into $out, emptied before each run.
extract_cmd() {  # tool archive out
  case $1 in
    vxzip) echo "$vxzip extract $2 -d $3" ;;
    unzip) echo "unzip -q -o $2 -d $3" ;;
    7z) echo "$seven x -y -bso0 -bsp0 -o$3 $2" ;;
    bsdtar) echo "bsdtar -xf $2 -C $3" ;;
  esac
}

tools=(vxzip unzip)
[ -n "$seven" ] && tools+=(7z)
command -v bsdtar >/dev/null && tools+=(bsdtar)

printf '%-22s %-8s %10s %10s\n' "archive" "tool" "median s" "vxzip/x"
for archive in "$deflate" "$deflate64" "$stored"; do
  [ -f "$archive" ] || continue
  declare -A samples=()
  for _ in $(seq "$runs"); do
    for tool in "${tools[@]}"; do
      out=$scratch/$tool
      rm -rf "$out" && mkdir -p "$out"
      # shellcheck disable=SC2046
      samples[$tool]+=" $(time_once $(extract_cmd "$tool" "$archive" "$out"))"
    done
  done
  ours=$(echo "${samples[vxzip]}" | median)
  for tool in "${tools[@]}"; do
    m=$(echo "${samples[$tool]}" | median)
    ratio=$(awk -v a="$ours" -v b="$m" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b; else print "-" }')
    printf '%-22s %-8s %10s %10s\n' "$(basename "$archive")" "$tool" "$m" "$ratio"
  done
  unset samples
done

echo
printf '%-22s %-12s %10s %10s\n' "archive" "test" "median s" "vxzip/x"
for archive in "$deflate" "$deflate64" "$stored"; do
  [ -f "$archive" ] || continue
  ours="" theirs=""
  for _ in $(seq "$runs"); do
    ours+=" $(time_once "$vxzip" test "$archive")"
    theirs+=" $(time_once unzip -tq "$archive")"
  done
  a=$(echo "$ours" | median)
  b=$(echo "$theirs" | median)
  ratio=$(awk -v a="$a" -v b="$b" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.2f", a / b; else print "-" }')
  printf '%-22s %-12s %10s %10s\n' "$(basename "$archive")" "vxzip test" "$a" "1.00"
  printf '%-22s %-12s %10s %10s\n' "$(basename "$archive")" "unzip -tq" "$b" "$ratio"
done

echo
rm -rf "$scratch/rss" && mkdir -p "$scratch/rss"
rss=$(/usr/bin/time -v "$vxzip" extract "$deflate" -d "$scratch/rss" 2>&1 >/dev/null |
  awk -F: '/Maximum resident set size/ { gsub(/ /, "", $2); print $2 }')
echo "vxzip extract $(basename "$deflate"): peak resident memory ${rss} KiB"
