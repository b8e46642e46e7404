#!/bin/sh
# disk_test.sh WINE_RUN DISK_TEST: the full-disk and read-only tests. Mounts a small tmpfs, maps
# it as drive Q: of the Wine prefix, runs FullDisk.* and the three ReadOnly phases (making the
# file system read-only for the second), and takes it all away again, whatever the tests did:
# the mount, the drive, and ProgramFilesDir as it was. Needs root to mount; exit 77 (skipped)
# otherwise. QM_DISK_KB sets the size (default 4096).
set -u
wine_run=$1 exe=$2
size_kb=${QM_DISK_KB:-4096}
drive_link="$WINEPREFIX/dosdevices/q:"
key='HKLM\Software\Microsoft\Windows\CurrentVersion'

if [ -e "$drive_link" ] || [ -L "$drive_link" ]; then
  echo "disk_test: drive Q: is already mapped in $WINEPREFIX" >&2
  exit 1
fi
mnt=$(mktemp -d /tmp/qmfault-disk.XXXXXX) || exit 1
if ! mount -t tmpfs -o size=${size_kb}k qmfault "$mnt" 2>/dev/null; then
  rmdir "$mnt"
  echo "disk_test: skipped, a tmpfs cannot be mounted here (mounting needs root)"
  exit 77
fi
ln -s "$mnt" "$drive_link"
saved=$(wine reg query "$key" /v ProgramFilesDir /reg:32 2>/dev/null | tr -d '\r' | sed -n 's/.*REG_SZ *//p')
[ -n "$saved" ] || saved='C:\Program Files (x86)'

cleanup() {
  wine reg add "$key" /v ProgramFilesDir /d "$saved" /f /reg:32 >/dev/null 2>&1
  rm -f "$drive_link"
  umount "$mnt" 2>/dev/null
  rmdir "$mnt" 2>/dev/null
}
trap cleanup EXIT

run() { QM_FAULT_DRIVE=Q: "$wine_run" "$exe" --gtest_filter="$1" || rc=1; }
rc=0
run 'FullDisk.*'
run 'ReadOnly.Phase1*'
mount -o remount,ro "$mnt" || rc=1
run 'ReadOnly.Phase2*'
mount -o remount,rw "$mnt" || rc=1
run 'ReadOnly.Phase3*'
exit $rc
