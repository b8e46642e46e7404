#!/bin/sh
# demo.sh DIST: installs and removes the token client runtime in a fresh Wine prefix through
# kxhost, the way a host setup program would, and shows what each step left behind: files,
# registry records, services, the cryptographic provider and the setup log. Any step that fails
# ends the demo with a sentence saying what failed, and a non-zero exit.
set -u
dist=$(cd "$1" && pwd)
export WINEPREFIX="$(pwd)/build/demo-prefix"
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d"
log="$WINEPREFIX/drive_c/windows/temp/_!QMSetup_.log"
pf="$WINEPREFIX/drive_c/Program Files (x86)/qmsrv"
sys="$WINEPREFIX/drive_c/windows/syswow64"
system_files="qmp11.dll qmcsp.dll qmcsp.dat qmcsp.sig qmcsp2.sig"
csp_key='HKLM\SOFTWARE\Microsoft\Cryptography\Defaults\Provider\QM KX2 Token CSP'
out=$(mktemp)
trap 'rm -f "$out"' EXIT

say() { printf '\n== %s\n' "$*"; }
fail() {
  printf '\nDEMO FAILED: %s\n' "$*"
  wineserver -k 2>/dev/null
  exit 1
}
# Runs a Windows program, prints its output without CRs, keeps its exit code.
win() {
  wine "$@" >"$out" 2>/dev/null
  rc=$?
  tr -d '\r' < "$out"
  return $rc
}
quiet() { wine "$@" >/dev/null 2>&1; }
# The engine logs each chapter and command; its last lines say where a run stopped.
where_it_stopped() {
  chapter=$(tr -d '\r' < "$log" 2>/dev/null | sed -n 's/^DoStep OneChapter is //p' | tail -n 1)
  last=$(tr -d '\r' < "$log" 2>/dev/null | grep -v '^$' | tail -n 1)
  if [ -n "$chapter" ]; then echo "It stopped in the chapter \"$chapter\"; the engine's last log line: \"$last\""
  else echo "The engine's last log line: \"$last\""; fi
}
# Installed files; the daemons' own logs below log\ are not part of the install.
count_files() { find "$pf" -type f ! -path "*/log/*" 2>/dev/null | wc -l; }
system_count() { n=0; for f in $system_files; do [ -f "$sys/$f" ] && n=$((n + 1)); done; echo $n; }
service_state() { quiet sc query "$1" && win sc query "$1" | sed -n 's/^ *STATE *: *[0-9]* *//p' || echo "not installed"; }

say "A fresh Wine prefix: $WINEPREFIX"
rm -rf "$WINEPREFIX"
wineboot -i >/dev/null 2>&1 && wineserver -w || fail "the Wine prefix could not be created."
wineserver -p

say "kxhost precheck: may the runtime be installed now?"
win "$dist/kxhost.exe" precheck || fail "the pre-check refused the installation."

say "kxhost install 3: install, in the user's language"
win "$dist/kxhost.exe" install 3
rc=$?
[ $rc = 0 ] || [ $rc = 3010 ] || fail "the installation failed (exit $rc). $(where_it_stopped)."

say "Installed files: $(count_files) below Program Files\\qmsrv (and the daemons' logs), $(system_count) in the system folder"
find "$pf" -type f 2>/dev/null | sed "s|$WINEPREFIX/drive_c|C:|" | sort
for f in $system_files; do [ -f "$sys/$f" ] && echo "C:/windows/system32/$f"; done
[ "$(count_files)" = 21 ] && [ "$(system_count)" = 5 ] || fail "expected 21 files below the product folder and 5 in the system folder."

say "The product record and the shared-file counts (HKLM\\Software\\QMSrv)"
win reg query 'HKLM\Software\QMSrv' /s | grep -v '^$' | sed 's/^/  /' | head -n 60
say "The device records of the HID helper (HKLM\\Software\\QMHid)"
quiet reg query 'HKLM\Software\QMHid' || fail "the HID devices were not recorded."
win reg query 'HKLM\Software\QMHid' /s | grep -v '^$' | sed 's/^/  /'
say "The cryptographic provider"
quiet reg query "$csp_key" || fail "the CSP is not registered."
win reg query "$csp_key" | grep -v '^$' | sed 's/^/  /'
say "The services"
echo "  qmSlotD (slot daemon):        $(service_state qmSlotD)"
echo "  qmCertD (certificate daemon): $(service_state qmCertD)"
[ "$(service_state qmSlotD)" != "not installed" ] || fail "the slot daemon's service is not installed."

say "kxhost uninstall: remove it again"
win "$dist/kxhost.exe" uninstall
rc=$?
[ $rc = 0 ] || [ $rc = 3010 ] || fail "the removal failed (exit $rc). $(where_it_stopped)."

say "What is left after the removal"
left=0
check_gone() {
  if "$@"; then echo "  $label: still there"; left=1; else echo "  $label: gone"; fi
}
label="HKLM\\Software\\QMSrv"; check_gone quiet reg query 'HKLM\Software\QMSrv'
label="HKLM\\Software\\QMHid"; check_gone quiet reg query 'HKLM\Software\QMHid'
label="the CSP registration"; check_gone quiet reg query "$csp_key"
label="the service qmSlotD"; check_gone quiet sc query qmSlotD
label="the service qmCertD"; check_gone quiet sc query qmCertD
label="files below Program Files\\qmsrv ($(count_files))"; check_gone [ "$(count_files)" != 0 ]
label="files in the system folder ($(system_count))"; check_gone [ "$(system_count)" != 0 ]
label="the product folder"; check_gone [ -d "$pf" ]
pending=$(win reg query 'HKLM\System\CurrentControlSet\Control\Session Manager' /v PendingFileRenameOperations 2>/dev/null | grep -c qmsrv)
[ "$pending" -gt 0 ] && echo "  (scheduled for the next restart: $pending entries below qmsrv)"
[ $left = 0 ] || [ "$rc" = 3010 ] || fail "the removal left something behind (see above)."

say "The setup log ($(tr -d '\r' < "$log" | wc -l) lines): $log"
tr -d '\r' < "$log" | grep -E '^(====>Begin to|DoStep OneChapter is|Return Err|Run |Call dll .* OK\.|System need)' | sed 's/^/  /' | head -n 80
wineserver -k
printf '\nDemo complete: the runtime was installed and removed, and nothing of it is left.\n'
