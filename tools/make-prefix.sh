#!/bin/sh
# Creates the Wine test prefix at $WINEPREFIX when it is missing.
set -e
[ -n "$WINEPREFIX" ] || { echo "make-prefix: WINEPREFIX is not set" >&2; exit 1; }
if [ ! -f "$WINEPREFIX/system.reg" ]; then
  echo "Creating Wine prefix $WINEPREFIX"
  wineboot -i >/dev/null 2>&1
  wineserver -w
fi
