#!/bin/sh
# make-package.sh QMPACK PACKAGE_SRC STAGE_DIR OUT BIN_DIR
# Lays out the package tree (the script, then each payload listed in payload.lst: a data file of
# PACKAGE_SRC/files when there is one, else the file of that name the build put in BIN_DIR) and
# packs it.
set -e
qmpack=$1 src=$2 stage=$3 out=$4 bin=$5
[ -x "$qmpack" ] || { echo "make-package: no qmpack at '$qmpack' (set QMPACK_EXECUTABLE)" >&2; exit 1; }
rm -rf "$stage"
mkdir -p "$stage"
cp "$src/qmsetup.ini" "$stage/qmsetup.ini"
: > "$stage.lst"
while IFS= read -r line || [ -n "$line" ]; do
  line=$(printf '%s' "$line" | tr -d '\r')
  case "$line" in ''|'#'*) continue ;; esac
  dest=$(printf '%s' "$line" | tr '\\' '/')
  mkdir -p "$stage/$(dirname "$dest")"
  name=$(basename "$dest")
  if [ -f "$src/files/$dest" ]; then cp "$src/files/$dest" "$stage/$dest"; else cp "$bin/$name" "$stage/$dest"; fi
  printf '%s\n' "$line" >> "$stage.lst"
done < "$src/payload.lst"
"$qmpack" create "$out" "$stage" --list "$stage.lst"
