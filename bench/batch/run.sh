#!/usr/bin/env bash
# A batch of ten files through Quandril's window against the converter alone,
# under wine64 (x86_64 tree only). Run by hand:
# bench/batch/run.sh [BUILD_DIR] [--rounds N] [--preset I] [--seconds S] [--size WxH]
set -euo pipefail
root=$(cd "$(dirname "$0")/../.." && pwd)
tree=$(cd "${1:-$root/build/win64}" && pwd)
shift || true
cmake --build "$tree" --target e2e_driver -j1 >/dev/null
exec "$root/tests/wine-session.sh" "$tree" python3 "$root/bench/batch/batch_bench.py" \
  --build "$tree" --driver "$tree/tests/e2e_driver.exe" "$@"
