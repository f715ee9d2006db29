#!/usr/bin/env bash
# Archives with many members, with vxzip and its peers: listing and testing
# archives of 10^3 to 10^6 tiny stored members (names like
# d042/file0012345.txt, written by Python's zipfile), one run each, with the
# wall time and the peak resident memory of every tool. Testing is what
# unzip, 7-Zip and vxzip call "test"; bsdtar, which has none, extracts to
# standard output. A run that takes longer than TIMEOUT seconds is cut and
# shown as ">TIMEOUT".
#
# Usage: bench/scale_peers.sh   (after scripts/build native-release)
# Environment: VXZIP (the binary), COUNTS (default "1000 10000 100000
# 1000000"), TIMEOUT (default 120), CORPUS_DIR (where the archives are kept).
set -euo pipefail
cd "$(dirname "$0")/.."

vxzip=${VXZIP:-build/native-release/bin/vxzip}
counts=${COUNTS:-1000 10000 100000 1000000}
limit=${TIMEOUT:-120}
corpus_dir=${CORPUS_DIR:-build/bench-corpus}
[ -x "$vxzip" ] || { echo "scale_peers: no $vxzip; build native-release first" >&2; exit 1; }
seven=$(command -v 7zz || command -v 7z || command -v 7za || true)
mkdir -p "$corpus_dir"

archive_of() { echo "$corpus_dir/members-$1.zip"; }
for count in $counts; do
  archive=$(archive_of "$count")
  [ -f "$archive" ] && continue
  echo "making $archive" >&2
  python3 - "$archive.tmp" "$count" <<'PY'
import sys, zipfile
count = int(sys.argv[2])
with zipfile.ZipFile(sys.argv[1], 'w', zipfile.ZIP_STORED) as z:
    for i in range(count):
        z.writestr('d%03d/file%07d.txt' % (i % 1000, i), b'%d\n' % i)
PY
  mv "$archive.tmp" "$archive"
done

# "seconds peak-MB" of one run, ">limit -" when it was cut, "fail -" when
# the command failed.
measure() {
  local report status=0
  report=$(/usr/bin/time -f '%e %M' timeout "$limit" "$@" 2>&1 >/dev/null | tail -1) || status=$?
  if [ "$status" = 124 ]; then
    echo ">$limit -"
  elif [ "$status" = 0 ] && [[ $report =~ ^[0-9.]+\ [0-9]+$ ]]; then
    awk -v r="$report" 'BEGIN { split(r, f, " "); printf "%s %.1f\n", f[1], f[2] / 1024 }'
  else
    echo "fail -"
  fi
}

tools=(vxzip unzip)
[ -n "$seven" ] && tools+=(7zz)
command -v bsdtar >/dev/null && tools+=(bsdtar)

command_for() {  # tool operation archive
  case $1:$2 in
    vxzip:list) echo "$vxzip list $3" ;;
    vxzip:test) echo "$vxzip test $3" ;;
    unzip:list) echo "unzip -l $3" ;;
    unzip:test) echo "unzip -tq $3" ;;
    7zz:list) echo "$seven l $3" ;;
    7zz:test) echo "$seven t $3" ;;
    bsdtar:list) echo "bsdtar -tf $3" ;;
    bsdtar:test) echo "bsdtar -xOf $3" ;;
  esac
}

printf '%-9s %-5s %-7s %10s %10s\n' members op tool seconds "peak MB"
for count in $counts; do
  archive=$(archive_of "$count")
  for operation in list test; do
    for tool in "${tools[@]}"; do
      # shellcheck disable=SC2046
      read -r seconds peak <<<"$(measure $(command_for "$tool" "$operation" "$archive"))"
      printf '%-9s %-5s %-7s %10s %10s\n' "$count" "$operation" "$tool" "$seconds" "$peak"
    done
  done
done
