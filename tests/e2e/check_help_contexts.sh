#!/bin/sh
# Checks that each help context of a compiled help file leads to a topic the
# file holds: the context map (#IVB) gives an offset into #STRINGS, whose
# string must name one of the file's pages.
# Usage: check_help_contexts.sh CHMLS FILE.chm CONTEXT...
set -eu
chmls=$1
chm=$2
shift 2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
"$chmls" extract "$chm" /#IVB ivb >/dev/null 2>&1 || { echo "no context map in $chm"; exit 1; }
"$chmls" extract "$chm" /#STRINGS strings >/dev/null 2>&1 || { echo "no strings in $chm"; exit 1; }
"$chmls" -n list "$chm" 2>/dev/null >pages
status=0
for context in "$@"; do
  # #IVB: a 4-byte length, then pairs of 32-bit little-endian (context, offset).
  offset=$(od -An -v -t u4 -j 4 ivb | tr -s ' \n' '\n\n' | grep -v '^$' |
    awk -v c="$context" 'NR % 2 == 1 { id = $1 } NR % 2 == 0 && id == c { print $1; exit }')
  if [ -z "$offset" ]; then
    echo "context $context: not in the context map"
    status=1
    continue
  fi
  topic=$(dd if=strings bs=1 skip="$offset" count=512 2>/dev/null | tr '\0' '\n' | head -n 1)
  if grep -qxF "$topic" pages; then
    echo "context $context: $topic"
  else
    echo "context $context: $topic is not a page of $chm"
    status=1
  fi
done
exit $status
