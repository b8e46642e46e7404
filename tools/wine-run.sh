#!/bin/sh
# Runs a Windows program under Wine in the project's test prefix (never the user's ~/.wine).
here=$(cd "$(dirname "$0")/.." && pwd)
: "${WINEPREFIX:=$here/build/wineprefix}"; export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all,err+module}"
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}"
wine cmd /c exit </dev/null >/dev/null 2>&1   # start wineserver detached from the caller's pipes
exec wine "$@"
