#!/usr/bin/env bash
# Archives of the ZIP64 kind, with vxzip and its peers: extracting an
# archive of 70,000 entries (time and peak resident memory of each tool),
# and testing one member of 4,404,019,200 bytes (deflated zeros; nothing
# large is written). With VXZIP_BEFORE (another vxzip binary, such as the
# one of the main branch) both binaries extract and test the peer benchmark's
# archives in turn, so a change's cost is measured side by side in one run.
#
# Usage: bench/zip64_peers.sh   (after scripts/build native-release)
# Environment: VXZIP (the binary), VXZIP_BEFORE, RUNS (default 3),
# CORPUS_DIR (where the archives are kept).
set -euo pipefail
cd "$(dirname "$0")/.."

vxzip=${VXZIP:-build/native-release/bin/vxzip}
before=${VXZIP_BEFORE:-}
runs=${RUNS:-3}
corpus_dir=${CORPUS_DIR:-build/bench-corpus}
[ -x "$vxzip" ] || { echo "zip64_peers: no $vxzip; build native-release first" >&2; exit 1; }
seven=$(command -v 7z || command -v 7zz || command -v 7za || true)
mkdir -p "$corpus_dir"

many=$corpus_dir/entries-70000.zip
big=$corpus_dir/zeros-4404019200.zip
if [ ! -f "$many" ]; then
  echo "making $many" >&2
  python3 - "$many.tmp" <<'PY'
import sys, zipfile
with zipfile.ZipFile(sys.argv[1], 'w') as z:
    for i in range(70000):
        z.writestr('d%d/f%d' % (i % 100, i), str(i))
PY
  mv "$many.tmp" "$many"
fi
if [ ! -f "$big" ]; then
  echo "making $big (about half a minute)" >&2
  python3 - "$big.tmp" 4404019200 <<'PY'
import sys, zipfile
size, chunk = int(sys.argv[2]), bytes(1 << 20)
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_DEFLATED, compresslevel=1) as z:
    with z.open('zeros.bin', 'w', force_zip64=True) as f:
        while size:
            n = min(size, len(chunk))
            f.write(chunk[:n])
            size -= n
PY
  mv "$big.tmp" "$big"
fi

scratch=$(mktemp -d /dev/shm/vxbench.XXXXXX)
trap 'rm -rf "$scratch"' EXIT

# "seconds peak-KiB" of one run, or "fail".
measure() {
  local report
  if report=$(/usr/bin/time -f '%e %M' "$@" 2>&1 >/dev/null | tail -1) && [[ $report =~ ^[0-9.]+\ [0-9]+$ ]]; then
    echo "$report"
  else
    echo fail
  fi
}

median() {
  tr ' ' '\n' | grep -v '^$' | sort -g | awk '{ v[NR] = $1 } END {
    if (NR == 0) { print "n/a"; exit }
    if (NR % 2) print v[(NR + 1) / 2]; else printf "%.3f\n", (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

extract_cmd() {  # tool archive out
  case $1 in
    vxzip) echo "$vxzip extract $2 -d $3" ;;
    before) echo "$before extract $2 -d $3" ;;
    unzip) echo "unzip -q -o $2 -d $3" ;;
    7z) echo "$seven x -y -bso0 -bsp0 -o$3 $2" ;;
    bsdtar) echo "bsdtar -xf $2 -C $3" ;;
  esac
}

tools=(vxzip unzip)
[ -n "$seven" ] && tools+=(7z)
command -v bsdtar >/dev/null && tools+=(bsdtar)

echo "extracting $(basename "$many") into tmpfs, $runs runs, medians"
printf '%-8s %10s %14s\n' "tool" "seconds" "peak KiB"
for tool in "${tools[@]}"; do
  seconds="" peaks=""
  for _ in $(seq "$runs"); do
    out=$scratch/out
    rm -rf "$out" && mkdir -p "$out"
    # shellcheck disable=SC2046
    read -r s p <<<"$(measure $(extract_cmd "$tool" "$many" "$out"))" || true
    [ "$s" = fail ] && { seconds+=" fail"; continue; }
    seconds+=" $s" peaks+=" $p"
  done
  printf '%-8s %10s %14s\n' "$tool" "$(echo "$seconds" | median)" "$(echo "$peaks" | median)"
done
rm -rf "$scratch/out"

echo
echo "testing $(basename "$big") (one member of 4,404,019,200 bytes)"
printf '%-10s %10s %14s  %s\n' "tool" "seconds" "peak KiB" "verdict"
verdict=$("$vxzip" test "$big" 2>&1 | head -1)
read -r s p <<<"$(measure "$vxzip" test "$big")"
printf '%-10s %10s %14s  %s\n' "vxzip" "$s" "$p" "$verdict"
read -r s p <<<"$(measure unzip -tq "$big")"
printf '%-10s %10s %14s\n' "unzip -t" "$s" "$p"
if [ -n "$seven" ]; then
  read -r s p <<<"$(measure "$seven" t -bso0 -bsp0 "$big")"
  printf '%-10s %10s %14s\n' "7z t" "$s" "$p"
fi

[ -n "$before" ] || exit 0
[ -x "$before" ] || { echo "zip64_peers: no $before" >&2; exit 1; }
echo
echo "vxzip before and after, interleaved, $((runs * 2 + 1)) runs each, medians"
printf '%-22s %-8s %10s %10s %8s\n' "archive" "work" "before s" "after s" "after/before"
for archive in "$corpus_dir"/gcc-*.zip; do
  [ -f "$archive" ] || continue
  for work in extract test; do
    b="" a=""
    for _ in $(seq $((runs * 2 + 1))); do
      for which in before vxzip; do
        out=$scratch/out
        rm -rf "$out" && mkdir -p "$out"
        if [ "$work" = extract ]; then
          # shellcheck disable=SC2046
          read -r s _ <<<"$(measure $(extract_cmd "$which" "$archive" "$out"))"
        else
          bin=$vxzip
          [ "$which" = before ] && bin=$before
          read -r s _ <<<"$(measure "$bin" test "$archive")"
        fi
        if [ "$which" = before ]; then b+=" $s"; else a+=" $s"; fi
      done
    done
    mb=$(echo "$b" | median)
    ma=$(echo "$a" | median)
    ratio=$(awk -v a="$ma" -v b="$mb" 'BEGIN { if (a + 0 > 0 && b + 0 > 0) printf "%.3f", a / b; else print "-" }')
    printf '%-22s %-8s %10s %10s %8s\n' "$(basename "$archive")" "$work" "$mb" "$ma" "$ratio"
  done
done
