#!/usr/bin/env bash
# Builds the converter and runs its benchmark under wine64 (x86_64 tree only).
# usage: bench/converter/run.sh [BUILD_DIR] [converter_bench.py options...]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tree=${1:-$root/build/win64}
shift || true
cmake --build "$tree" --target mirovex -j1 >/dev/null
stock=$(sed -n 's/^QUANDRIL_DEPS_PREFIX:PATH=//p' "$tree/CMakeCache.txt")/bin/ffmpeg.exe
exec "$root/tests/wine-session.sh" "$tree" python3 "$root/bench/converter/converter_bench.py" \
  --wine-run "$tree/wine-run" --converter "$tree/dist/core/mirovex.exe" --stock "$stock" "$@"
