#!/bin/sh
# setup.sh [bench]: installs the build and test prerequisites on Debian 12 when any is missing
# (with "bench": what only make bench needs, gnuplot for its chart), and makes sure 32-bit x86
# programs run: Wine starts every 32-bit Windows program through its i386 loader. On a machine
# whose kernel refuses i386 programs it turns on qemu's user-mode emulation for them. Idempotent
# and silent when everything is in place; root is needed only to change something.
set -e
if [ "$1" = bench ]; then
  PKGS="gnuplot-nox"
  WHAT="the benchmark packages"
  EXAMPLE="sudo make bench"
else
  PKGS="make g++-mingw-w64-i686-win32 mingw-w64-i686-dev binutils-mingw-w64-i686 wine wine32:i386 wine64
wine32-preloader:i386 cmake g++ googletest clang libclang-rt-14-dev nsis openssl python3 bc libp11-kit-dev wixl msitools"
  WHAT="the build and test packages"
  EXAMPLE="sudo ./qm test"
fi
# Wine needs qemu 10: 7.2's i386 signal frames carry no trap number, which breaks Windows
# exception dispatch ("Got unexpected trap -1").
QEMU_MIN=10
BACKPORTS=bookworm-backports
BINFMT=/proc/sys/fs/binfmt_misc
# The kernel's registration line for i386 ELF programs; F opens the interpreter at once, so
# chroots need no copy of it.
I386_MAGIC='\x7fELF\x01\x01\x01\x00\x00\x00\x00\x00\x00\x00\x00\x00\x02\x00\x03\x00'
I386_MASK='\xff\xff\xff\xff\xff\xfe\xfe\x00\xff\xff\xff\xff\xff\xff\xff\xff\xfe\xff\xff\xff'

tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT

say() { echo "setup: $*" >&2; }
stop() { say "$*"; exit 1; }
need_root() { [ "$(id -u)" = 0 ] || stop "$1; run this command as root once (for example: $EXAMPLE)"; }

# A 93-byte i386 program that exits with 0: tells whether i386 code runs, before any package is here.
i386_runs() {
  printf '\177\105\114\106\1\1\1\0\0\0\0\0\0\0\0\0\2\0\3\0\1\0\0\0\124\200\4\10\64\0\0\0\0\0\0\0\0\0\0\0'\
'\64\0\40\0\1\0\0\0\0\0\0\0\1\0\0\0\0\0\0\0\0\200\4\10\0\200\4\10\135\0\0\0\135\0\0\0\5\0\0\0\0\20\0\0'\
'\270\1\0\0\0\61\333\315\200' >"$tmp/i386-exit"
  chmod +x "$tmp/i386-exit"
  "$tmp/i386-exit" 2>/dev/null
}

# The enabled binfmt_misc entry that handles i386 programs, if any.
i386_entry() {
  for e in "$BINFMT"/*; do
    case ${e##*/} in register|status) continue ;; esac
    grep -qx enabled "$e" 2>/dev/null && grep -q '^magic 7f454c4601010100000000000000000002000300' "$e" &&
      { echo "$e"; return 0; }
  done
  return 1
}

# The major version of a qemu user-mode binary (0 when it is not one).
qemu_major() {
  "$1" --version 2>/dev/null | sed -n 's/^qemu-[a-z0-9_]* version \([0-9]*\)\..*/\1/p' | grep . || echo 0
}

# apt-get update exits non-zero when a single index fails (a mirror in the middle of a sync says
# "has unexpected size"). Try a few times; then go on with the indexes that did arrive, and keep
# the failures for the message should an install need one of them.
apt_update() {
  for pause in 10 30 0; do
    apt-get update -qq >"$tmp/update.log" 2>&1 && return 0
    [ $pause = 0 ] || sleep $pause
  done
  grep -E '^(E|W): ' "$tmp/update.log" >"$tmp/update.failed" || true
}

apt_install() {
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >"$tmp/install.log" 2>&1 && return 0
  tail -n 5 "$tmp/install.log" >&2
  if [ -s "$tmp/update.failed" ]; then
    say "these package indexes could not be fetched (the mirror is probably being synchronised; try again in a few minutes):"
    sed 's/^/  /' "$tmp/update.failed" >&2
  fi
  stop "could not install $*"
}

# The deb line of Debian's backports suite, on the mirror that serves bookworm here.
add_backports() {
  grep -rqsE "^[^#]*$BACKPORTS|^Suites:.*$BACKPORTS" /etc/apt/sources.list /etc/apt/sources.list.d/ && return 1
  mirror=$(cat /etc/apt/sources.list /etc/apt/sources.list.d/*.list 2>/dev/null |
    sed -n 's/^deb[[:space:]]\{1,\}\(\[[^]]*\][[:space:]]\{1,\}\)\{0,1\}\([^[:space:]]*\)[[:space:]]\{1,\}bookworm[[:space:]].*/\2/p' | head -n 1)
  [ -n "$mirror" ] || mirror=$(awk '
      /^URIs:/ { uri = $2 } /^Suites:/ { for (i = 2; i <= NF; i++) if ($i == "bookworm") hit = 1 }
      /^$/ { if (hit && !found) found = uri; hit = 0 } END { if (hit && !found) found = uri; print found }' \
      /etc/apt/sources.list.d/*.sources 2>/dev/null)
  echo "deb ${mirror:-http://deb.debian.org/debian} $BACKPORTS main" >/etc/apt/sources.list.d/$BACKPORTS.list
}

# Registers qemu as the interpreter of i386 programs, replacing an entry of an older qemu.
enable_i386_emulation() {
  need_root "this machine does not run 32-bit x86 programs, which Wine needs; emulation has to be turned on"
  qemu=$(command -v qemu-i386-static || true)
  if [ -z "$qemu" ] || [ "$(qemu_major "$qemu")" -lt $QEMU_MIN ]; then
    add_backports || true
    apt_update
    apt_install -t $BACKPORTS qemu-user-static
    qemu=$(command -v qemu-i386-static || true)
    [ -n "$qemu" ] || stop "qemu-user-static from $BACKPORTS has no qemu-i386-static"
  fi
  v=$(qemu_major "$qemu")
  [ "$v" -ge $QEMU_MIN ] || stop "qemu $v is too old to run Wine (qemu $QEMU_MIN or later is needed: \
7.2 breaks Windows exception handling); install qemu-user-static from $BACKPORTS"
  [ -f "$BINFMT/register" ] || mount -t binfmt_misc binfmt_misc "$BINFMT"
  old=$(i386_entry) && echo -1 >"$old"
  [ ! -e "$BINFMT/qemu-i386" ] || echo -1 >"$BINFMT/qemu-i386"  # ours, switched off
  printf '%s\n' ":qemu-i386:M::$I386_MAGIC:$I386_MASK:$qemu:F" >"$BINFMT/register"
  i386_runs || stop "32-bit x86 programs still do not run after registering $qemu with binfmt_misc"
  say "this machine does not run 32-bit x86 programs: turned on qemu $v user-mode emulation for them (until the next restart)"
}

if ! dpkg -s $PKGS >/dev/null 2>&1; then
  need_root "$WHAT are missing"
  say "installing $WHAT (first run only; a few minutes)"
  dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
  # i386 packages' scripts may run i386 programs: emulation first where it is needed.
  [ "$1" = bench ] || i386_runs || enable_i386_emulation
  apt_update
  apt_install $PKGS
  say "done"
fi
[ "$1" = bench ] && exit 0

# An i386 entry of an older qemu runs Wine badly even where the kernel could run i386 itself.
if entry=$(i386_entry); then
  interp=$(sed -n 's/^interpreter //p' "$entry")
  case ${interp##*/} in
    qemu-i386*) [ "$(qemu_major "$interp")" -ge $QEMU_MIN ] || enable_i386_emulation ;;
  esac
fi
i386_runs || enable_i386_emulation
