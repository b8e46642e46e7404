#!/bin/sh
# Installs the build and test prerequisites on Debian 12 when any is missing. Idempotent and
# silent when everything is there; run as root.
set -e
PKGS="make g++-mingw-w64-i686-win32 mingw-w64-i686-dev binutils-mingw-w64-i686 wine wine32:i386 wine64 cmake g++
googletest clang libclang-rt-14-dev nsis openssl python3 bc libp11-kit-dev wixl msitools"
# dpkg -s fails when any listed package is missing.
if dpkg -s $PKGS >/dev/null 2>&1; then
  exit 0
fi
if [ "$(id -u)" != 0 ]; then
  echo "setup: build packages are missing; run this command as root once (for example: sudo ./qm test)" >&2
  exit 1
fi
echo "setup: installing the build and test packages (first run only; a few minutes)"
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $PKGS >/dev/null
echo "setup: done"
