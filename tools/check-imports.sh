#!/bin/sh
# Fails when a shipped binary imports anything but system DLLs.
status=0
for f in "$@"; do
  bad=$(i686-w64-mingw32-objdump -p "$f" | sed -n 's/^\s*DLL Name: //p' |
        grep -viE '^(kernel32|advapi32|user32|shlwapi|version|msvcrt|shell32|ole32)\.dll$')
  if [ -n "$bad" ]; then echo "check-imports: $f imports non-system DLLs: $bad" >&2; status=1; fi
done
exit $status
