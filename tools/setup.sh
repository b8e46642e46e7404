#!/bin/sh
# Installs the build and test prerequisites on Debian 12 when any is missing. Idempotent; run as root.
set -e
PKGS="g++-mingw-w64-i686-win32 mingw-w64-i686-dev binutils-mingw-w64-i686 wine wine32:i386 wine64 cmake make g++ googletest clang libclang-rt-14-dev openssl python3 bc libp11-kit-dev"
if dpkg -s $PKGS >/dev/null 2>&1; then
  exit 0
fi
if [ "$(id -u)" != 0 ]; then
  echo "setup: missing packages and not root; install as root: $PKGS" >&2
  exit 1
fi
dpkg --print-foreign-architectures | grep -qx i386 || dpkg --add-architecture i386
apt-get update -q
DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends $PKGS
