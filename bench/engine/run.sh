#!/usr/bin/env bash
# Builds and runs the engine benchmark under wine64 (x86_64 tree only).
# usage: bench/engine/run.sh [BUILD_DIR] [FILES]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tree=${1:-$root/build/win64}
files=${2:-10}
cmake --build "$tree" --target engine_bench fake_converter -j1 >/dev/null
exec "$root/tests/wine-session.sh" "$tree" "$tree/wine-run" "$tree/bench/engine_bench.exe" "$files"
