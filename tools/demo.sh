#!/bin/sh
# demo.sh DIST: a real install and uninstall through kxhost in a fresh Wine prefix, and what each
# step left behind. Any step that fails ends the demo with a sentence saying what failed, and a
# non-zero exit.
set -u
dist=$(cd "$1" && pwd)
export WINEPREFIX="$(pwd)/build/demo-prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
log="$WINEPREFIX/drive_c/windows/temp/_!QMSetup_.log"
pf="$WINEPREFIX/drive_c/Program Files (x86)/qmsrv"

out=$(mktemp)
trap 'rm -f "$out"' EXIT
# Runs a Windows program; prints its output without CRs and the unpacker's console lines, and
# keeps its exit code.
win() {
  wine "$@" >"$out" 2>/dev/null
  rc=$?
  tr -d '\r' < "$out" | grep -v -e '^Get file list from qmsetup.dat' -e '^Analyse qmsetup.dat file'
  return $rc
}
fail() {
  echo
  echo "DEMO FAILED: $*"
  wineserver -k 2>/dev/null
  exit 1
}
# The engine logs each chapter and command; its last lines say where a run stopped.
where_it_stopped() {
  chapter=$(tr -d '\r' < "$log" 2>/dev/null | sed -n 's/^DoStep OneChapter is //p' | tail -n 1)
  last=$(tr -d '\r' < "$log" 2>/dev/null | grep -v '^$' | tail -n 1)
  if [ -n "$chapter" ]; then echo "It stopped in the chapter \"$chapter\"; the engine's last log line: \"$last\""
  else echo "The engine's last log line: \"$last\""; fi
}
front_words() {
  case $1 in
    0) echo "done, no restart needed" ;; 1) echo "done, a restart is needed" ;;
    2) echo "the engine failed" ;; 4) echo "staging failed" ;; 5) echo "bad language selector" ;;
    8) echo "a restart from an earlier run is still pending" ;; 9) echo "this Windows version is not supported" ;;
    *) echo "unknown result" ;;
  esac
}
run_front() {
  what=$1; shift
  echo; echo "== kxhost $what"
  win "$dist/kxhost.exe" "$@"
  rc=$?
  echo "   -> $rc: $(front_words $rc)"
  return $rc
}

echo "== Fresh Wine prefix: $WINEPREFIX"
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 && wineserver -w || fail "the Wine prefix could not be created"
wineserver -p

run_front precheck precheck || fail "the pre-check refused the installation (code $?)."
run_front "install 3" install 3
rc=$?
[ $rc = 0 ] || [ $rc = 1 ] || fail "kxhost install 3 returned $rc ($(front_words $rc)). $(where_it_stopped)."

echo; echo "== Product record (HKLM\\Software\\QMSrv)"
win reg query 'HKLM\Software\QMSrv' /s || echo "(none)"
echo; echo "== Installed files below Program Files\\qmsrv"
find "$pf" -type f 2>/dev/null | sed "s|$WINEPREFIX/drive_c|C:|" | sort
run_front uninstall uninstall
rc=$?
[ $rc = 0 ] || [ $rc = 1 ] || fail "kxhost uninstall returned $rc ($(front_words $rc)). $(where_it_stopped)."
echo; echo "== After the uninstall"
if win reg query 'HKLM\Software\QMSrv' >/dev/null 2>&1; then echo "HKLM\\Software\\QMSrv is still there"; else echo "HKLM\\Software\\QMSrv: removed"; fi
left=$(find "$pf" -type f 2>/dev/null | wc -l)
echo "files left below Program Files\\qmsrv: $left"
echo; echo "== Setup log ($(tr -d '\r' < "$log" | wc -l) lines): $log"
wineserver -k
echo; echo "Demo complete: installed and removed."
