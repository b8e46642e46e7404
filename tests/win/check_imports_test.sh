#!/bin/sh
# check_imports_test.sh TOOLS_DIR BINARY: the import check refuses BINARY (which imports a
# function newer than Windows 2000) with a message naming the function, and refuses a list that
# allows such a function.
tools=$1 binary=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail=0
python3 "$tools/check-imports.py" "$tools/imports/allowed.tsv" "$work/doc.md" --write-doc "$binary" 2>"$work/err"
[ $? -eq 1 ] && grep -q 'imports KERNEL32.dll!GetTickCount64, which is not in' "$work/err" || { echo "FAILED: new import accepted"; cat "$work/err"; fail=1; }
{ cat "$tools/imports/allowed.tsv"; printf 'KERNEL32.dll\tGetTickCount64\tVista\tno\n'; } > "$work/list.tsv"
python3 "$tools/check-imports.py" "$work/list.tsv" "$work/doc.md" --write-doc "$binary" 2>"$work/err"
[ $? -eq 1 ] && grep -q "oldest NT must be one of" "$work/err" && grep -q "must be 'yes' or 'stub'" "$work/err" || { echo "FAILED: list entry newer than 2000 accepted"; cat "$work/err"; fail=1; }
exit $fail
