#!/bin/sh
# run.sh BIN_DIR: extraction time of qmpack (the engine's unpacker) against tar -xf of the same
# files, measured in the same run (best of 3, runs interleaved), and directory decode time per
# entry. tar is told not to restore owners, modes or times, which the unpacker does not do either.
#   a: 30 files, 3 MB   b: 2,000 files, 500 MB, nested   c: 100,000 files of 0-64 bytes
#   c10k: 10,000 such files, to show the cost grows linearly with the entry count
set -e
bin=$(cd "$1" && pwd)
here=$(cd "$(dirname "$0")" && pwd)
out=$here/out
rm -rf "$out"
mkdir -p "$out"
python3 "$here/make_tree.py" "$out"
time_once() {  # time_once CMD...: seconds for one run into a fresh, empty folder
  rm -rf "$out/x"; mkdir -p "$out/x"; sync
  s=$(date +%s.%N); "$@" >/dev/null; e=$(date +%s.%N)
  echo "$e - $s" | bc -l
}
min() { if [ -z "$1" ] || [ "$(echo "$2 < $1" | bc -l)" = 1 ]; then echo "$2"; else echo "$1"; fi; }
printf '%-6s %8s %10s %10s %8s  %s\n' case files qmpack_s tar_s ratio decode
for c in a b c10k c; do
  tree=$out/$c
  files=$(find "$tree" -type f | wc -l)
  "$bin/qmpack" create "$out/$c.dat" "$tree" >/dev/null
  (cd "$tree" && tar -cf "$out/$c.tar" .)
  q="" t=""
  for i in 1 2 3; do
    q=$(min "$q" "$(time_once "$bin/qmpack" extract "$out/$c.dat" "$out/x")")
    t=$(min "$t" "$(time_once tar --no-same-owner --no-same-permissions -m -xf "$out/$c.tar" -C "$out/x")")
  done
  d=$("$bin/decode_bench" "$out/$c.dat" 5 | sed 's/.*decode //')
  printf '%-6s %8s %10.3f %10.3f %8.2f  %s\n' "$c" "$files" "$q" "$t" "$(echo "$q / $t" | bc -l)" "$d"
  rm -f "$out/$c.dat" "$out/$c.tar"
done
rm -rf "$out"
