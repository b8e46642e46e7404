#!/bin/sh
# repro-check.sh: builds the dist/ files of HEAD twice, from two clones in two different
# folders, and compares them byte by byte. Exits non-zero when any file differs.
set -u
repo=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d /tmp/qm-repro.XXXXXX)
trap 'rm -rf "$work"' EXIT
for side in a b; do
  git clone -q "$repo" "$work/$side/qmsetup" || exit 1
  echo "repro-check: building clone $side"
  (cd "$work/$side/qmsetup" && make -s dist WIN_TESTS=OFF >"$work/$side.log" 2>&1) || { tail -n 20 "$work/$side.log"; exit 1; }
done
status=0
for f in "$work/a/qmsetup/dist/"*; do
  name=$(basename "$f")
  if cmp -s "$f" "$work/b/qmsetup/dist/$name"; then echo "  same       $name"; else echo "  DIFFERENT  $name"; status=1; fi
done
[ $status = 0 ] && echo "repro-check: every dist/ file is byte-identical across the two builds"
exit $status
