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
# The targets run side by side, each for the whole time, so the run takes
# SECONDS however many there are; their reports follow in order.
pids=()
for target in "${targets[@]}"; do
  corpus="$build/corpus/$target"
  rm -rf "$corpus" && mkdir -p "$corpus"
  for hex in "$root/fuzz/corpus/$target"/*.hex; do
    perl -ne 'chomp; print pack "H*", $_' "$hex" >"$corpus/$(basename "$hex" .hex)"
  done
  "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
    -artifact_prefix="$build/$target-" -print_final_stats=1 "$corpus" >"$build/$target.log" 2>&1 &
  pids+=($!)
done
echo "== ${targets[*]}: ${seconds} s each, side by side"
status=0
for i in "${!targets[@]}"; do
  target=${targets[$i]}
  log="$build/$target.log"
  if wait "${pids[$i]}"; then
    echo -n "$target: "
    grep -E '^stat::number_of_executed_units|^Done' "$log" | tr '\n' ' '
    echo
  else
    echo "$target FAILED; the end of its log:"
    tail -n 40 "$log"
    status=1
  fi
done
exit $status
