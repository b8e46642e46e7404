#!/bin/sh
# qmpack end to end: create, list, verify, extract byte for byte, openssl reads the directory,
# and clear failures.
set -u
qmpack=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0 pass=0
check() { if "$@"; then pass=$((pass + 1)); else echo "FAILED: $*"; fail=$((fail + 1)); fi; }
not() { ! "$@"; }

mkdir -p "$work/src/sub/deeper" "$work/src/empty dir"
printf '[FILES]\r\nCHECK "sub\\big.bin"\r\n[COMMON]\r\n' > "$work/src/qmsetup.ini"
head -c 100000 /dev/urandom > "$work/src/sub/big.bin"
: > "$work/src/sub/deeper/empty.txt"
for i in $(seq 1 150); do echo "$i" > "$work/src/sub/deeper/f$i.txt"; done

check "$qmpack" create "$work/a.dat" "$work/src" >/dev/null
check "$qmpack" verify "$work/a.dat" >/dev/null
check "$qmpack" extract "$work/a.dat" "$work/out" >/dev/null
check diff -r "$work/src/sub" "$work/out/sub"
check cmp "$work/src/qmsetup.ini" "$work/out/qmsetup.ini"
first=$("$qmpack" list "$work/a.dat" | head -n 1)
check [ "$first" = "         0         40 qmsetup.ini" ]

# An independent DER reader accepts the directory.
size=$(od -An -tu4 -j $(($(stat -c %s "$work/a.dat") - 4)) -N4 "$work/a.dat" | tr -d ' ')
tail -c $((size + 4)) "$work/a.dat" | head -c "$size" > "$work/dir.der"
check openssl asn1parse -inform DER -in "$work/dir.der" -out /dev/null >/dev/null
check [ "$(openssl asn1parse -inform DER -in "$work/dir.der" | grep -c PRINTABLESTRING)" -eq 153 ]

# List order.
printf 'sub\\deeper\\f2.txt\nsub\\big.bin\n' > "$work/list"
check "$qmpack" create "$work/b.dat" "$work/src" --list "$work/list" >/dev/null
check [ "$("$qmpack" list "$work/b.dat" | awk '{print $3}' | tr '\n' ' ')" = 'qmsetup.ini sub\deeper\f2.txt sub\big.bin ' ]

# The script check: each finding with its line number, and a failing verify.
printf '[FILES]\r\nCHECK "nope.dll"\r\n[COMMON]\r\n' > "$work/src/qmsetup.ini"
"$qmpack" create "$work/bad.dat" "$work/src" >/dev/null
msg=$("$qmpack" verify "$work/bad.dat" 2>&1)
check [ $? -ne 0 ]
check [ "$(printf '%s' "$msg" | head -n 1)" = 'qmsetup.ini:2: CHECK names nope.dll, which is not in the package' ]

# Failures: non-zero exit and a message in words.
check not "$qmpack" create "$work/c.dat" "$work/src/sub" 2>/dev/null
check [ ! -e "$work/c.dat" ]
check not "$qmpack" verify "$work/missing.dat" 2>/dev/null
head -c 100 "$work/a.dat" > "$work/cut.dat"
check not "$qmpack" verify "$work/cut.dat" 2>/dev/null
check not "$qmpack" extract "$work/cut.dat" "$work/o2" >/dev/null 2>&1
check not "$qmpack" frobnicate 2>/dev/null
check "$qmpack" --help >/dev/null
msg=$("$qmpack" verify "$work/cut.dat" 2>&1)
check [ -n "$msg" ]

# A failed create leaves an existing package of that name alone and leaves nothing behind.
echo keep > "$work/keep.dat"
check not "$qmpack" create "$work/keep.dat" "$work/nonexistent" 2>/dev/null
check [ "$(cat "$work/keep.dat")" = keep ]
mkdir -p "$work/dev"; cp "$work/src/qmsetup.ini" "$work/dev/"; echo x > "$work/dev/NUL.txt"
check not "$qmpack" create "$work/keep.dat" "$work/dev" 2>/dev/null
check [ "$(cat "$work/keep.dat")" = keep ]
check [ ! -e "$work/keep.dat.part" ]

# A package made inside the folder it packs never packs itself, however often it is made.
check "$qmpack" create "$work/src/self.dat" "$work/src" >/dev/null
size1=$(stat -c %s "$work/src/self.dat")
check "$qmpack" create "$work/src/self.dat" "$work/src" >/dev/null
check [ "$(stat -c %s "$work/src/self.dat")" -eq "$size1" ]
check not sh -c "'$qmpack' list '$work/src/self.dat' | grep -q self.dat"

echo "$pass passed, $fail failed"
[ "$fail" -eq 0 ]
