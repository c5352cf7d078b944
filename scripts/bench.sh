#!/usr/bin/env bash
# Times `vrk compress` and `vrk extract` against `tar -cf` and `tar -xf` on
# the benchmark trees, in the same run, alternating, with the page cache
# warm; prints medians, the ratio vrk/tar and each tool's peak memory, and
# checks that every tree comes back byte for byte. Beside each step, the
# floor: the least any tool can take here (bench/floor.cpp), against tar.
# Usage: bench.sh [RUNS] [TREE...]   trees: small large deep real (default all)
# Environment: BUILD (default build/release), BENCH_DIR (default /tmp/vrk-bench).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
runs=${1:-5}
shift || true
trees=("$@")
[ ${#trees[@]} -gt 0 ] || trees=(small large deep real)
build=$(realpath "${BUILD:-$root/build/release}")
vrk="$build/cli/vrk"
work=${BENCH_DIR:-/tmp/vrk-bench}
mkdir -p "$work/trees"

# Elapsed seconds and peak resident KiB of one command: "SECONDS KIB".
# Dirty pages are written back first, so that on a disk a run does not pay
# for the writeback of the rounds before it (the page cache stays warm).
measure() {
  local start end
  sync
  start=$(date +%s.%N)
  /usr/bin/time -f %M -o "$work/peak" "$@" >/dev/null
  end=$(date +%s.%N)
  echo "$(echo "$end - $start" | bc -l) $(cat "$work/peak")"
}

median() { sort -g | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }

# Regular, non-empty files outside dot-folders, with their checksums: what
# a round trip must give back (the format cannot hold empty files).
fingerprint() {
  (cd "$1" && find -L . -type f -size +0 ! -path '*/.*/*' -print0 | sort -z | xargs -0 -r sha256sum)
}

printf '%-6s %-8s %9s %9s %7s %10s %10s %11s\n' tree step tar_s vrk_s vrk/tar tar_MiB vrk_MiB floor/tar
for tree in "${trees[@]}"; do
  source="$work/trees/$tree"
  if [ ! -d "$source" ]; then
    if [ "$tree" = real ]; then cp -r /usr/include "$source"; else "$build/bench/make_tree" "$tree" "$source"; fi
  fi
  rm -rf "$work/run" && mkdir -p "$work/run/tar-x" "$work/run/vrk-x"
  declare -A times=() peaks=()
  for ((run = 0; run <= runs; run++)); do
    order=(tar vrk)
    ((run % 2)) && order=(vrk tar)
    for tool in "${order[@]}"; do
      if [ "$tool" = tar ]; then
        rm -f "$work/run/$tree.tar"
        c=$(measure tar -cf "$work/run/$tree.tar" -C "$work/trees" "$tree")
        rm -rf "$work/run/tar-x/$tree"
        x=$(measure tar -xf "$work/run/$tree.tar" -C "$work/run/tar-x")
      else
        rm -f "$work/run/vrk-x/$tree.vrk"
        c=$(measure "$vrk" compress "$source" "$work/run/vrk-x/$tree.vrk")
        rm -rf "$work/run/vrk-x/$tree"
        x=$(measure "$vrk" extract "$work/run/vrk-x/$tree.vrk")
      fi
      ((run == 0)) && continue  # the first round only warms the page cache
      times[$tool-c]+="${c% *} " times[$tool-x]+="${x% *} "
      peaks[$tool-c]="${c#* } ${peaks[$tool-c]:-}" peaks[$tool-x]="${x#* } ${peaks[$tool-x]:-}"
    done
  done
  for step in c x; do
    t=$(tr ' ' '\n' <<<"${times[tar-$step]}" | grep . | median)
    v=$(tr ' ' '\n' <<<"${times[vrk-$step]}" | grep . | median)
    tm=$(tr ' ' '\n' <<<"${peaks[tar-$step]}" | grep . | sort -n | tail -n 1)
    vm=$(tr ' ' '\n' <<<"${peaks[vrk-$step]}" | grep . | sort -n | tail -n 1)
    if [ $step = c ]; then
      f=$("$build/bench/floor" copy "$source" "$work/run/floor.out" "$runs")
      rm -f "$work/run/floor.out"
    else
      f=$("$build/bench/floor" create "$source" "$work/run/floor-x" "$runs")
    fi
    printf '%-6s %-8s %9.3f %9.3f %7.2f %10.1f %10.1f %11.2f\n' "$tree" "$([ $step = c ] && echo create || echo extract)" \
      "$t" "$v" "$(echo "$v / $t" | bc -l)" "$(echo "$tm / 1024" | bc -l)" "$(echo "$vm / 1024" | bc -l)" "$(echo "$f / $t" | bc -l)"
  done
  if ! cmp -s <(fingerprint "$source") <(fingerprint "$work/run/vrk-x/$tree"); then
    echo "ROUND TRIP FAILED for $tree" >&2
    exit 1
  fi
  unset times peaks
  rm -rf "$work/run"
done
echo "Round trips byte for byte: ${trees[*]}"
