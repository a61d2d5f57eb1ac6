#!/usr/bin/env bash
# The program with a simulated instrument on COM1, for a first look without
# an instrument:
#   bash scripts/demo.sh [BUILD_DIR] [water|plate]
#   bash scripts/demo.sh [BUILD_DIR] --shots     (the README's pictures into docs/)
# The simulator plays on a new pseudo-terminal; COM1 of the program's
# settings points at it for this run only and is restored afterwards.
# With KLT3_DEMO_BUILT=1 the programs in BUILD_DIR are taken as they are
# (the tests run the demo on the tree they tested).
set -euo pipefail
cd "$(dirname "$0")/.."
dir=${1:-build}
kind=${2:-water}
if [ ! -f "$dir/build.ninja" ]; then
  cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKLT3_TESTS=OFF -DKLT3_BENCH=OFF
fi

if [ "$kind" = "--shots" ]; then
  cmake --build "$dir" --target klt3_demo_shots
  QT_QPA_PLATFORM=offscreen "$dir/tools/cli/klt3_demo_shots" docs
  exit
fi
case "$kind" in
  water | plate) ;;
  *) echo "Вид прибора: water или plate, а не \"$kind\"." >&2; exit 1 ;;
esac

if [ "${KLT3_DEMO_BUILT:-}" != 1 ]; then
  cmake --build "$dir" --target klt3 klt3-sim klt3-cli
fi
cli="$dir/tools/cli/klt3-cli"
work=$(mktemp -d)
sim_pid=
old_com1=$("$cli" ports --stored | sed -n 's/^COM1=//p')
restore() {
  "$cli" ports --com1 "$old_com1" || echo "Не удалось вернуть прежний путь порта COM1: $old_com1" >&2
  if [ -n "$sim_pid" ]; then kill "$sim_pid" 2>/dev/null || true; wait "$sim_pid" 2>/dev/null || true; fi
  rm -rf "$work"
}
trap restore EXIT
trap "exit 130" INT TERM

# Five sample series (or plate tests) at the line's own speed; the
# simulator's log of received bytes goes to a file.
"$dir/tools/simulator/klt3-sim" --kind "$kind" --generate 5 --paced \
  >"$work/sim.out" 2>"$work/sim.log" &
sim_pid=$!
for _ in $(seq 100); do
  [ -s "$work/sim.out" ] && break
  sleep 0.05
done
pty=$(head -n 1 "$work/sim.out")
if [ -z "$pty" ]; then
  echo "Симулятор прибора не запустился:" >&2
  cat "$work/sim.log" >&2
  exit 1
fi
"$cli" ports --com1 "$pty"
echo "Симулятор прибора на $pty (COM1). В программе: Файл -> Создать."
# Started in the user's home folder, as scripts/run.sh does, so that the
# demo's tables do not land in the source checkout.
program="$(cd "$dir" && pwd)/src/shell/klt3"
(cd "$HOME" && "$program")
