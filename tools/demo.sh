#!/bin/sh
# demo.sh DIST: a real install and uninstall through kxhost in a fresh Wine prefix, then what
# they left behind: result codes, the setup log, the registry record and the files.
set -u
dist=$(cd "$1" && pwd)
export WINEPREFIX="$(pwd)/build/demo-prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
rm -rf "$WINEPREFIX"
echo "== Fresh Wine prefix: $WINEPREFIX"
wineboot -i >/dev/null 2>&1; wineserver -w
wineserver -p
win() { wine "$@" 2>/dev/null | tr -d '\r'; }
log="$WINEPREFIX/drive_c/windows/temp/_!QMSetup_.log"

echo; echo "== kxhost precheck";   win "$dist/kxhost.exe" precheck
echo; echo "== kxhost install 2";  win "$dist/kxhost.exe" install 2
echo; echo "== Product record (HKLM\\Software\\QMSrv)"
win reg query 'HKLM\Software\QMSrv' /s || echo "(none)"
echo; echo "== Installed files"
find "$WINEPREFIX/drive_c/Program Files (x86)/qmsrv" -type f 2>/dev/null | sed "s|$WINEPREFIX/drive_c|C:|" || true
echo; echo "== kxhost uninstall";  win "$dist/kxhost.exe" uninstall
echo; echo "== Setup log ($log)"
tr -d '\r' < "$log" 2>/dev/null || echo "(no log)"
wineserver -k
