#!/bin/sh
# fresh-check.sh: the README's two commands on throw-away minimal Debian 12 roots, as a new user
# would meet them. Root A (debootstrap minbase plus git) runs "./qm demo", then "./qm test"; root
# B, another fresh one, runs "./qm test" alone. Each root gets a clone of this repository's HEAD
# (uncommitted changes are not in it). Prints each command's exit code and time, cleans up its
# mounts and processes, and exits non-zero when any command failed. Needs root and the network
# to Debian's mirror; downloads about 600 MB per root.
set -u
[ "$(id -u)" = 0 ] || { echo "fresh-check: run as root" >&2; exit 1; }
repo=$(cd "$(dirname "$0")/.." && pwd)
work=${FRESH_CHECK_DIR:-/var/tmp/qm-fresh-check}
mirror=${FRESH_CHECK_MIRROR:-http://deb.debian.org/debian}
command -v debootstrap >/dev/null 2>&1 || {
  echo "fresh-check: installing debootstrap"
  DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends debootstrap >/dev/null || exit 1
}

mounted=""
cleanup_root() {
  root=$1
  # Every process whose root is inside this tree (wineserver, services) goes first.
  for p in /proc/[0-9]*; do
    [ "$(readlink "$p/root" 2>/dev/null)" = "$root" ] && kill -9 "${p#/proc/}" 2>/dev/null
  done
  sleep 1
  for m in dev/shm dev/pts dev sys proc; do
    mountpoint -q "$root/$m" 2>/dev/null && umount -l "$root/$m"
  done
  rm -rf "$root"
}
trap 'for r in $mounted; do cleanup_root "$r"; done' EXIT INT TERM

make_root() {
  root=$1
  rm -rf "$root"
  mkdir -p "$work"
  if [ ! -f "$work/minbase.tgz" ]; then
    echo "fresh-check: downloading a minimal Debian 12 (once)"
    debootstrap --variant=minbase --include=git,ca-certificates --make-tarball="$work/minbase.tgz" bookworm \
      "$work/tarball-tmp" "$mirror" >"$work/debootstrap.log" 2>&1 || { tail -n 20 "$work/debootstrap.log"; return 1; }
    rm -rf "$work/tarball-tmp"
  fi
  debootstrap --variant=minbase --include=git,ca-certificates --unpack-tarball="$work/minbase.tgz" bookworm "$root" \
    "$mirror" >"$work/debootstrap.log" 2>&1 || { tail -n 20 "$work/debootstrap.log"; return 1; }
  mounted="$mounted $root"
  mount -t proc proc "$root/proc"
  mount -t sysfs sys "$root/sys"
  mount --bind /dev "$root/dev"
  mount --bind /dev/pts "$root/dev/pts"
  mount -t tmpfs shm "$root/dev/shm"
  cp /etc/resolv.conf "$root/etc/resolv.conf"
  [ -d /etc/apt/apt.conf.d ] && cp /etc/apt/apt.conf.d/* "$root/etc/apt/apt.conf.d/" 2>/dev/null
  git clone -q "$repo" "$root/root/qmsetup"
}

results=""
status=0
run_in() {
  root=$1 what=$2 log=$3
  start=$(date +%s)
  chroot "$root" /bin/sh -c "cd /root/qmsetup && ./qm $what" >"$log" 2>&1
  rc=$?
  secs=$(( $(date +%s) - start ))
  line=$(printf '%-28s exit %-3s %3dm%02ds   (log: %s)' "$(basename "$root"): ./qm $what" "$rc" $((secs / 60)) $((secs % 60)) "$log")
  echo "$line"
  results="$results
$line"
  [ "$rc" = 0 ] || { status=1; echo "--- last lines of $log:"; tail -n 25 "$log"; }
}

mkdir -p "$work/logs"
make_root "$work/rootA" || exit 1
run_in "$work/rootA" demo "$work/logs/A-demo.log"
run_in "$work/rootA" test "$work/logs/A-test.log"
cleanup_root "$work/rootA"
make_root "$work/rootB" || exit 1
run_in "$work/rootB" test "$work/logs/B-test.log"
cleanup_root "$work/rootB"
mounted=""

echo
echo "fresh-check: $(date -u '+%Y-%m-%d'), $(nproc) cores, commit $(git -C "$repo" rev-parse --short HEAD)$results"
exit $status
