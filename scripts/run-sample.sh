#!/usr/bin/env bash
# Packs the sample folder into an archive and extracts it again, printing
# the transcript of each step. Usage: run-sample.sh BUILD_DIR
set -euo pipefail
build=${1:?usage: run-sample.sh BUILD_DIR}
vrk=$(realpath "$build/cli/vrk")
root=$(cd "$(dirname "$0")/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

echo "== vrk compress sample $work/sample.vrk"
"$vrk" compress "$root/sample" "$work/sample.vrk"
echo
echo "== vrk list sample.vrk"
"$vrk" list "$work/sample.vrk"
echo
echo "== vrk extract sample.vrk"
"$vrk" extract "$work/sample.vrk"
echo
# Everything outside dot-folders comes back byte for byte.
if diff -r --exclude=.editor "$root/sample" "$work/sample" >/dev/null; then
  echo "The extracted folder matches the sample byte for byte."
else
  echo "The extracted folder differs from the sample!" >&2
  exit 1
fi
