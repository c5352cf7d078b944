#!/usr/bin/env bash
# vrk as a real process: exit statuses, a file-size limit met while
# extracting (SIGXFSZ ignored, so the write fails and is reported), ".." in
# paths given from a folder entered through a link, archives an unprivileged
# user may not replace, and a tree larger than the memory the process may use.
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
head -c 400000 /dev/urandom >src/big.bin
"$vrk" -q compress src big.vrk
check "compress status" 0 $?

out=$( (ulimit -f 100; "$vrk" extract big.vrk) 2>&1)
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

# Standard output that cannot be written fails the run, with the reason.
for command in list extract; do
  err=$("$vrk" $command big.vrk 2>&1 >/dev/full)
  check "$command to a full disk" "1 Error: standard output: No space left on device" "$? $err"
done
# The debug channel already copies each line to standard error: once only.
check "--debug lines" 2 "$("$vrk" --debug -q extract missing.vrk 2>&1 >/dev/null | grep -c -e '^Error: ' -e '^Extracting')"
check "list of a pipe" big.bin "$(cat big.vrk | "$vrk" list /dev/stdin | awk 'NR == 1 { print $2 }')"
# ".." means what it means to cat, even in a folder entered through a link:
# every command reads and writes top/rel/v2, never top.
mkdir -p top/rel/v2/work pack/one pack/two
ln -s rel/v2/work top/current
echo 1 >pack/one/top.txt && echo 2 >pack/two/v2.txt
"$vrk" -q compress pack/one top/mod.vrk && "$vrk" -q compress pack/two top/rel/v2/mod.vrk
(
  cd top/current || exit
  check "list ../" "v2.txt" "$("$vrk" list ../mod.vrk | awk 'NR == 1 { print $2 }')"
  "$vrk" -q extract ../mod.vrk
  check "extract ../" "2" "$(cat ../mod/v2.txt 2>&1)"
  "$vrk" -q compress .. x.vrk
  check "compress .." 'mod\v2.txt' "$("$vrk" list x.vrk | awk '$2 == "mod\\v2.txt" { print $2 }')"
  exit "$failures"
)
failures=$((failures + $?))
check "top left alone" "" "$(ls -d top/mod 2>/dev/null)"
# Without PWD, or with one naming another folder, the current folder is where the process is.
for env in "-u PWD" "PWD=$work/top"; do
  check "compress with $env" v2.txt "$(cd pack && rm -f t.vrk && env $env "$vrk" -q compress two t.vrk; "$vrk" list t.vrk | awk 'NR == 1 { print $2 }')"
done

# Extraction copies through a bounded buffer: an entry claiming 4 GB with
# little data behind it keeps peak memory small.
if [ -x /usr/bin/time ]; then
  { printf 'huge.bin\0'; head -c 16 /dev/zero; printf '\377\377\377\377'; head -c 21 /dev/zero; head -c 100000 /dev/urandom; } >claim.vrk
  peak=$(/usr/bin/time -f %M "$vrk" -q extract claim.vrk 2>&1 >/dev/null | tail -n 1)
  if [ "$peak" -ge 65536 ]; then echo "FAIL: peak memory ${peak} KiB for a 4 GB claim"; failures=$((failures + 1)); fi
fi

# A refused open for real: an unprivileged user packing a tree with a file it
# may not read gets the system's reason, and no archive.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  chmod 0777 "$work"
  # A copy the unprivileged user can run, wherever the build lives.
  cp "$vrk" "$work/vrk-copy" && chmod 0755 "$work/vrk-copy"
  mkdir -p locked && echo secret >locked/secret.txt && echo open >locked/open.txt && chmod 0600 locked/secret.txt
  chmod 0777 locked
  out=$(setpriv --reuid=65534 --regid=65534 --clear-groups "$work/vrk-copy" compress locked locked.vrk 2>&1)
  check "unprivileged compress status" 1 $?
  check "unprivileged error" "Error: secret.txt: Permission denied" "$(grep '^Error' <<<"$out")"
  check "no archive written" "" "$(ls locked.vrk* 2>/dev/null)"
  # Root's read-only archive in a folder anyone may write: the rename would
  # succeed where opening it for writing does not, so it is refused.
  echo old >ro.vrk && chmod 0444 ro.vrk
  out=$(setpriv --reuid=65534 --regid=65534 --clear-groups "$work/vrk-copy" compress pack/one ro.vrk 2>&1)
  check "read-only archive status" 1 $?
  check "read-only archive error" "Error: ro.vrk: cannot replace the file: Permission denied" "$(grep '^Error' <<<"$out")"
  check "read-only archive kept" "old root 444" "$(cat ro.vrk) $(stat -c '%U %a' ro.vrk)"
  check "no temporary file" "" "$(ls ro.vrk.* 2>/dev/null)"
fi

# A tree larger than the memory the process may have packs whole: two sparse
# files of 1.5 GiB under a 512 MiB address-space limit. (A sanitizer build
# cannot start under the limit at all, and a file-size limit below the
# 3 GiB archive forbids it; it is then left out.)
file_limit=$(ulimit -f)
if (ulimit -v 524288; "$vrk" --help) >/dev/null 2>&1 &&
   { [ "$file_limit" = unlimited ] || [ "$file_limit" -gt $((3 * 1024 * 1024)) ]; }; then  # KiB
  mkdir huge
  size=$((1536 * 1024 * 1024))
  for f in a b; do
    truncate -s "$size" huge/$f.bin
    for at in 0 700 1535; do head -c 4096 /dev/urandom | dd of=huge/$f.bin bs=4096 seek=$((at * 256)) conv=notrunc status=none; done
  done
  (ulimit -v 524288; "$vrk" -q compress huge huge.vrk) >/dev/null 2>&1
  check "compress status under the memory limit" 0 $?
  headers=$((2 * (5 + 21) + 21))
  check "archive size" $((headers + 2 * size + 31)) "$(stat -c %s huge.vrk 2>/dev/null)"
  first=$(head -c 5 huge.vrk)
  second=$([ "$first" = a.bin ] && echo b.bin || echo a.bin)
  cmp -s -i "$headers:0" -n "$size" huge.vrk "huge/$first"
  check "first file's bytes" 0 $?
  cmp -s -i "$((headers + size)):0" -n "$size" huge.vrk "huge/$second"
  check "second file's bytes" 0 $?
  rm -rf huge huge.vrk
fi

if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "process tests passed"
