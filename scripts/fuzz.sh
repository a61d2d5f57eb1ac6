#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs them.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]     every target for a bounded time (CI)
#        scripts/fuzz.sh --long NAME [SECONDS]    one target for long (default an hour),
#                                                 its corpus kept in build-fuzz/corpus/NAME,
#                                                 what it finds in build-fuzz/found/NAME
set -euo pipefail
cd "$(dirname "$0")/.."
long=
if [ "${1:-}" = "--long" ]; then
  long=${2:?"Укажите цель, например fuzz_dbf"}
  secs=${3:-3600}
else
  secs=${1:-60}
fi
bash scripts/install-deps.sh
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DKLT3_FUZZ=ON -DKLT3_TESTS=OFF -DKLT3_BENCH=OFF
cmake --build "$dir"

# Freed memory waits 64 MB of later frees before it is used again, not the
# default 256 MB: one input frees far less than that, so a use after free
# within an input is caught as before, and the allocator stops touching
# fresh pages on every input, which costs a third of the executions.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}quarantine_size_mb=64"

# Runs one target: its corpus and seeds, a log, and the exec/s at the end.
run() {
  local f=$1 name corpus seeds found
  name=$(basename "$f")
  corpus="$dir/corpus/$name"
  found="$dir/found/$name"
  mkdir -p "$corpus" "$found"
  seeds="fuzz/seeds/$name"
  local args=("$corpus")
  [ -d "$seeds" ] && args+=("$seeds")
  echo "== $name for ${secs}s"
  if ! QT_QPA_PLATFORM=offscreen "$f" -max_total_time="$secs" -timeout=10 -rss_limit_mb=4096 \
      -print_final_stats=1 -artifact_prefix="$found/" "${args[@]}" > "$dir/$name.log" 2>&1; then
    echo "FAILED: $name"; tail -n 60 "$dir/$name.log"; return 1
  fi
  grep -E 'stat::(number_of_executed_units|average_exec_per_sec)' "$dir/$name.log" || true
}

mapfile -t targets < <(find "$dir/fuzz" -type f -name 'fuzz_*' -perm -u+x | sort)
status=0
for f in "${targets[@]}"; do
  if [ -n "$long" ] && [ "$(basename "$f")" != "$long" ]; then continue; fi
  run "$f" || status=1
done
if [ -n "$long" ] && ! printf '%s\n' "${targets[@]}" | grep -q "/$long\$"; then
  echo "Нет цели $long; есть: $(printf '%s ' "${targets[@]##*/}")" >&2
  exit 1
fi
exit $status
