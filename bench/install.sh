#!/usr/bin/env bash
# The speed of a real installation: setup.exe installs the benchmark archive
# (zip -r -6 of the mingw-w64 GCC tree, the archive vxzip_peers.sh makes)
# under Wine, INSTALL pressed by the end-to-end test driver and timed to the
# completion message, against `vxzip.exe extract` of the same archive under
# the same Wine, the two interleaved. Prints each run, the medians and the
# ratio install/vxzip (target: at most 1.25). Then the same for the tree
# packed with zstd, member by member (sample/zip_each_file.py).
#
# Usage: bench/install.sh   (scripts/bench install)
# Environment: RUNS (default 3), CORPUS_SOURCE, CORPUS_DIR as for
# vxzip_peers.sh, VX_BENCH_BUILD (a win64 build tree, default build/win64).
set -euo pipefail
cd "$(dirname "$0")/.."
source scripts/lib.sh

build=${VX_BENCH_BUILD:-build/win64}
runs=${RUNS:-3}
corpus_dir=${CORPUS_DIR:-build/bench-corpus}
if [ -z "${CORPUS_SOURCE:-}" ]; then
  for candidate in /usr/lib/gcc/x86_64-w64-mingw32/12-win32 /usr/lib/gcc/x86_64-w64-mingw32/12-posix; do
    if [ -d "$candidate" ]; then CORPUS_SOURCE=$candidate; break; fi
  done
fi
[ -d "${CORPUS_SOURCE:-}" ] || { echo "install: no corpus source tree" >&2; exit 1; }
mkdir -p "$corpus_dir"
archive=$corpus_dir/gcc-deflate.zip
if [ ! -f "$archive" ]; then
  echo "making $archive from $CORPUS_SOURCE" >&2
  (cd "$CORPUS_SOURCE" && zip -q -r -6 "$OLDPWD/$archive.tmp" .) && mv "$archive.tmp" "$archive"
fi
zstd_archive=$corpus_dir/gcc-zstd.zip
if [ ! -f "$zstd_archive" ]; then
  echo "making $zstd_archive from $CORPUS_SOURCE" >&2
  python3 sample/zip_each_file.py "$zstd_archive.tmp" "$CORPUS_SOURCE" 93 zstd -q -3 -c &&
    mv "$zstd_archive.tmp" "$zstd_archive"
fi
# Any file of the archive stands in for the main executable.
main_file=$(cd "$CORPUS_SOURCE" && find . -maxdepth 1 -type f -name '*.dll' | head -n 1 | sed 's|^\./||')

if [ "$build" = build/win64 ]; then
  cmake --preset win64 >/dev/null
fi
cmake --build "$build" --target test_e2e vxzip stage >/dev/null

vx_display_up
vx_wine_up "$PWD/$build"
cleanup() {
  vx_wine_down
  vx_display_down
}
trap cleanup EXIT

for packed in "$archive" "$zstd_archive"; do
  echo "archive: $packed ($(du -h "$packed" | cut -f1)), $runs runs each"
  VX_BENCH_ARCHIVE="$PWD/$packed" VX_BENCH_RUNS="$runs" VX_BENCH_EXE="$main_file" \
    /usr/lib/wine/wine64 "$build/bin/test_e2e.exe" --gtest_also_run_disabled_tests \
    --gtest_filter='*DISABLED_InstallSpeedAgainstVxzip' | grep -E -A3 '^(run|median)|FAILED|Failure' || true
done
