#!/usr/bin/env bash
# Runs each libFuzzer target for a while on the saved corpus (fuzz/corpus,
# kept as hexadecimal text) and fails if any finds a crash, a hang, a leak
# or a broken check. Usage: fuzz.sh [SECONDS] [BUILD_DIR] [TARGET...]
set -uo pipefail
seconds=${1:-60}
build=${2:-build/fuzz}
shift $(( $# > 2 ? 2 : $# ))
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(fuzz_extract fuzz_list_extract fuzz_roundtrip)
root=$(cd "$(dirname "$0")/.." && pwd)
status=0
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  rm -rf "$corpus" && mkdir -p "$corpus"
  for hex in "$root/fuzz/corpus/$target"/*.hex; do
    perl -ne 'chomp; print pack "H*", $_' "$hex" >"$corpus/$(basename "$hex" .hex)"
  done
  log="$build/$target.log"
  echo "== $target: ${seconds} s"
  if "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
      -artifact_prefix="$build/$target-" -print_final_stats=1 "$corpus" >"$log" 2>&1; then
    grep -E '^stat::number_of_executed_units|^Done' "$log" | tr '\n' ' '
    echo
  else
    echo "$target FAILED; the end of its log:"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
