#!/bin/sh
# setup.sh [bench]: installs the build and test prerequisites on Debian 12 when any is missing
# (with "bench": what only make bench needs, gnuplot for its chart). Idempotent and silent when
# everything is there; run as root.
set -e
if [ "$1" = bench ]; then
  PKGS="gnuplot-nox"
  WHAT="the benchmark packages"
  EXAMPLE="sudo make bench"
else
  PKGS="make g++-mingw-w64-i686-win32 mingw-w64-i686-dev binutils-mingw-w64-i686 wine wine32:i386 wine64 cmake g++
googletest clang libclang-rt-14-dev nsis openssl python3 bc libp11-kit-dev wixl msitools"
  WHAT="the build and test packages"
  EXAMPLE="sudo ./qm test"
fi
# dpkg -s fails when any listed package is missing.
if dpkg -s $PKGS >/dev/null 2>&1; then
  exit 0
fi
if [ "$(id -u)" != 0 ]; then
  echo "setup: $WHAT are missing; run this command as root once (for example: $EXAMPLE)" >&2
  exit 1
fi
echo "setup: installing $WHAT (first run only; a few minutes)"
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $PKGS >/dev/null
echo "setup: done"
