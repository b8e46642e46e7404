#!/bin/sh
# run.sh: the body of make bench (the Makefile builds dist/, the native and the cross build first).
# The runs write into a scratch ext4 file system of their own, mounted from a sparse image without
# online discard: on the shared disk, deleting the trees of earlier runs (100,000 files each) keeps
# the disk busy with discards for minutes and makes later runs 2-25 times slower. Without root (or
# without loop devices) a plain folder on the build disk is used instead, and the report says so.
# Then bench.py measures and report.py writes bench/README.md and bench/extraction.png.
set -e
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
build=$root/build
work=$build/benchfs
image=$build/benchfs.img
prefix=$build/bench-prefix
out=$here/out
mkdir -p "$out"
scale=${BENCH_SCALE:-1}
only=${BENCH_ONLY:-extraction,engine,e2e}

cleanup() {
  WINEPREFIX=$prefix wineserver -k 2>/dev/null || true
  if mountpoint -q "$work" 2>/dev/null; then
    dev=$(findmnt -n -o SOURCE "$work")
    umount "$work" && losetup -d "$dev" 2>/dev/null || true
  fi
  rm -rf "$work" "$image"
}
cleanup
trap cleanup EXIT INT TERM
fs="a folder on the build disk ($(findmnt -n -o FSTYPE,OPTIONS -T "$build" | cut -c1-60))"
mkdir -p "$work"
if [ "$(id -u)" = 0 ] && truncate -s 8G "$image" && mkfs.ext4 -q -F -E nodiscard,lazy_itable_init=0 "$image" 2>/dev/null &&
   dev=$(losetup --find --show --direct-io=on "$image" 2>/dev/null) && mount -o noatime,nodiscard "$dev" "$work"; then
  fs="a scratch ext4 file system of its own (8 GB sparse image on the build disk, loop device with direct I/O, no discard)"
else
  rm -f "$image"
  echo "run.sh: no scratch file system (needs root and a loop device); using a plain folder" >&2
fi

export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
sh "$root/tools/make-prefix.sh"
wineserver -p
wine cmd /c exit </dev/null >/dev/null 2>&1  # Wine's helper processes start detached from our output
python3 "$here/bench.py" --native "$build/native/bin" --win "$build/win32/bin" --dist "$root/dist" --prefix "$prefix" \
  --work "$work" --results "$out/results.json" --scale "$scale" --only "$only" --fs "$fs" \
  ${BENCH_BEFORE:+--before "$BENCH_BEFORE"}
python3 "$here/report.py" "$out/results.json" "$here"
