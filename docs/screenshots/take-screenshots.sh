#!/usr/bin/env bash
# Retakes the screenshots in this folder: runs the GUI test that drives the
# real dialogs inside a Wine virtual desktop (which draws the captions).
#   docs/screenshots/take-screenshots.sh [BUILD_DIR]     (default build/win64)
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "${1:-$here/../../build/win64}" && pwd)
cmake --build "$build" --target ui_test
"$here/../../tests/wine-session.sh" "$build" bash -c "
  cd '$build/tests/ui' &&
  QUANDRIL_SCREENSHOT_DIR=\"Z:${here//\//\\\\}\" wine explorer /desktop=shot,1024x768 ui_test.exe \
    --gtest_also_run_disabled_tests --gtest_filter='DISABLED_Screenshots*'"
