#!/usr/bin/env bash
# vrk as a real process: exit statuses, a full disk, ulimit, a folder entered through a link, PWD, permissions.
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

mkdir src && head -c 400000 /dev/urandom >src/big.bin
"$vrk" -q compress src big.vrk
# SIGXFSZ is ignored, so the write at the file-size limit fails and is reported.
out=$( (ulimit -f 100; "$vrk" extract big.vrk) 2>&1)
check "file-size limit" "1 Error: big.bin: File too large; the incomplete file is removed|Failed with 1 error.|" \
  "$? $(sed -n 3p <<<"$out")|$(tail -n 1 <<<"$out")|$(ls big)"
"$vrk" -q extract big.vrk <&- && cmp -s src/big.bin big/big.bin; extracted=$?  # standard input closed: the archive is fd 0
"$vrk" >/dev/null 2>&1; no_command=$?
"$vrk" verify missing.vrk >/dev/null; check "exit statuses" "0 2 1" "$extracted $no_command $?"
for command in "list big.vrk" "extract big.vrk" "cat big.vrk big.bin"; do
  err=$("$vrk" $command 2>&1 >/dev/full)
  check "$command to a full disk" "1 Error: standard output: No space left on device" "$? $err"
done
# The debug channel already copies each line to standard error: once only.
check "--debug lines" 2 "$("$vrk" --debug -q extract missing.vrk 2>&1 >/dev/null | grep -c -e '^Error: ' -e '^Extracting')"
check "list of a pipe" big.bin "$(cat big.vrk | "$vrk" list /dev/stdin | awk 'NR == 1 { print $2 }')"
# A stream that cannot seek is read up to the entry asked for, no further.
echo tail >src/z.txt && "$vrk" -q compress --sort src two.vrk
check "cat of a pipe" tail "$(cat two.vrk | "$vrk" cat /dev/stdin z.txt)"
mkfifo fifo && { cat two.vrk >fifo & }
out=$(timeout 10 "$vrk" diff two.vrk fifo 2>&1); check "diff of a pipe" "2 Error: fifo: Not a regular file" "$? $out"

# ".." means what it means to cat, even in a folder entered through a link.
mkdir -p top/rel/v2/work pack/one pack/two && ln -s rel/v2/work top/current
echo 1 >pack/one/top.txt && echo 2 >pack/two/v2.txt
"$vrk" -q compress pack/one top/mod.vrk && "$vrk" -q compress pack/two top/rel/v2/mod.vrk
cd top/current
check "list ../" "v2.txt" "$("$vrk" list ../mod.vrk | awk 'NR == 1 { print $2 }')"
"$vrk" -q extract ../mod.vrk
check "extract ../" "2" "$(cat ../mod/v2.txt 2>&1)"
"$vrk" -q compress .. x.vrk
check "compress .." 'mod\v2.txt' "$("$vrk" list x.vrk | awk '$2 == "mod\\v2.txt" { print $2 }')"
cd "$work"
check "top left alone" "" "$(ls -d top/mod 2>/dev/null)"
# Without PWD, or with one naming another folder, the current folder is where the process is.
for env in "-u PWD" "PWD=$work/top"; do
  check "compress with $env" v2.txt "$(cd pack && rm -f t.vrk && env $env "$vrk" -q compress two t.vrk; "$vrk" list t.vrk | awk 'NR == 1 { print $2 }')"
done

# As an unprivileged user: a file it may not read is reported, and root's
# read-only archive is not replaced though its folder is writable.
if [ "$(id -u)" = 0 ] && command -v setpriv >/dev/null; then
  chmod 0777 "$work"
  cp "$vrk" "$work/vrk-copy" && chmod 0755 "$work/vrk-copy"
  mkdir -p locked && echo secret >locked/secret.txt && echo open >locked/open.txt && chmod 0600 locked/secret.txt && chmod 0777 locked
  echo old >ro.vrk && chmod 0444 ro.vrk
  for run in "locked locked.vrk|Error: secret.txt: Permission denied" "pack/one ro.vrk|Error: ro.vrk: cannot replace the file: Permission denied"; do
    out=$(setpriv --reuid=65534 --regid=65534 --clear-groups "$work/vrk-copy" compress ${run%|*} 2>&1)
    check "unprivileged compress ${run%|*}" "1 ${run#*|}" "$? $(grep '^Error' <<<"$out")"
  done
  check "nothing written" "old root 444" "$(ls locked.vrk* ro.vrk.* 2>/dev/null)$(cat ro.vrk) $(stat -c '%U %a' ro.vrk)"
fi

# Memory stays bounded under a 64 MiB address-space limit (a sanitizer build
# cannot start under it; the case is then left out): an entry claiming 4 GB
# with little data behind it, and a tree of two 96 MiB sparse files packed whole.
if (ulimit -v 65536; "$vrk" --help) >/dev/null 2>&1; then
  { printf 'huge.bin\0'; head -c 16 /dev/zero; printf '\377\377\377\377'; head -c 21 /dev/zero; head -c 100000 /dev/urandom; } >claim.vrk
  (ulimit -v 65536; "$vrk" -q extract claim.vrk) 2>/dev/null
  check "4 GB claim under the memory limit" "1 100000" "$? $(stat -c %s claim/huge.bin 2>/dev/null)"
  mkdir huge
  for f in a b; do
    truncate -s 96M huge/$f.bin
    for at in 0 50 95; do head -c 4096 /dev/urandom | dd of=huge/$f.bin bs=4096 seek=$((at * 256)) conv=notrunc status=none; done
  done
  (ulimit -v 65536; "$vrk" -q compress --sort huge huge.vrk) >/dev/null 2>&1
  status=$? size=$((96 * 1024 * 1024))
  # Two headers of 26 bytes and the terminator before the data; the 31-byte trailer behind it.
  cat huge/a.bin huge/b.bin | cmp -s -i 73:0 -n $((2 * size)) huge.vrk -
  check "packed under the memory limit" "0 0 $((73 + 2 * size + 31))" "$status $? $(stat -c %s huge.vrk)"
fi

if [ "$failures" -ne 0 ]; then echo "$failures failed"; exit 1; fi
echo "process tests passed"
