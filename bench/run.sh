#!/usr/bin/env bash
# Builds the core and the native benchmarks in Release mode (no Python needed)
# and runs them; each prints what it measured next to its goal.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build/bench -G Ninja -DCMAKE_BUILD_TYPE=Release -DBORVANE_BUILD_PYTHON=OFF -DBORVANE_BUILD_BENCH=ON >/dev/null
cmake --build build/bench >/dev/null
for b in build/bench/bench/bench_*; do
  [ -x "$b" ] || continue
  echo "== $(basename "$b")"
  "$b"
done
