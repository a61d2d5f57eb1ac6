#!/usr/bin/env bash
# Builds the libFuzzer targets with clang and runs each for a bounded time.
# Usage: scripts/fuzz.sh [SECONDS_PER_TARGET]
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
secs=${1:-60}
dir=build-fuzz
cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DCMAKE_CXX_COMPILER=clang++ -DKLT3_FUZZ=ON -DKLT3_TESTS=OFF -DKLT3_BENCH=OFF
cmake --build "$dir"
status=0
for f in "$dir"/fuzz/*/fuzz_*; do
  { [ -f "$f" ] && [ -x "$f" ]; } || continue
  name=$(basename "$f")
  corpus="$dir/corpus/$name"
  mkdir -p "$corpus"
  seeds="fuzz/seeds/$name"
  echo "== $name for ${secs}s"
  args=("$corpus")
  [ -d "$seeds" ] && args+=("$seeds")
  if ! QT_QPA_PLATFORM=offscreen "$f" -max_total_time="$secs" -timeout=10 -rss_limit_mb=4096 \
      -print_final_stats=0 "${args[@]}" > "$dir/$name.log" 2>&1; then
    echo "FAILED: $name"; tail -n 60 "$dir/$name.log"; status=1
  else
    tail -n 2 "$dir/$name.log"
  fi
done
exit $status
