#!/usr/bin/env bash
# vrk as a real process: exit statuses, and a file-size limit met while
# extracting (SIGXFSZ ignored, so the write fails and is reported).
# Usage: process_test.sh VRK
set -uo pipefail
vrk=$(realpath "$1")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
failures=0
check() {  # check WHAT EXPECTED ACTUAL
  if [ "$2" != "$3" ]; then echo "FAIL: $1: expected [$2], got [$3]"; failures=$((failures + 1)); fi
}

mkdir src
head -c 5000 /dev/urandom >src/big.bin
"$vrk" -q compress src big.vrk
check "compress status" 0 $?

out=$( (ulimit -f 2; "$vrk" extract big.vrk) 2>&1)
check "status at the file-size limit" 1 $?
check "error line" "Error: big.bin: File too large; the incomplete file is removed" "$(sed -n 3p <<<"$out")"
check "last line" "Failed with 1 error." "$(tail -n 1 <<<"$out")"
check "incomplete file removed" "" "$(ls big)"

"$vrk" extract big.vrk >/dev/null
check "extract status" 0 $?
cmp -s src/big.bin big/big.bin
check "round trip" 0 $?

"$vrk" >/dev/null 2>&1
check "no command" 2 $?
"$vrk" verify missing.vrk >/dev/null
check "verify of a missing archive" 1 $?

if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "process tests passed"
