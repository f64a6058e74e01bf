#!/usr/bin/env bash
# The map of a tree of 1,000,000 files: the model the reading thread makes from the statistics'
# own listing, and the layout each resize makes. Usage: bench/map_bench.sh [FILES] [ROUNDS]
# (default 1000000 5). Target: model and layout together at most 1 s.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake --preset release >/dev/null
cmake --build --preset release --target map_bench >/dev/null
build/release/map_bench "${1:-1000000}" "${2:-5}"
