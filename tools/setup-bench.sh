#!/bin/sh
# Installs what only the benchmarks need (gnuplot for the chart) when it is missing; make test
# never needs it. Idempotent and silent when it is there; run as root.
set -e
PKGS="gnuplot-nox"
if dpkg -s $PKGS >/dev/null 2>&1; then
  exit 0
fi
if [ "$(id -u)" != 0 ]; then
  echo "setup-bench: $PKGS is missing; run this command as root once (for example: sudo make bench)" >&2
  exit 1
fi
echo "setup-bench: installing $PKGS"
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $PKGS >/dev/null
