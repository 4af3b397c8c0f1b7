#!/usr/bin/env bash
# wine-session.sh BUILD_DIR COMMAND...
# Runs COMMAND with the build tree's Wine prefix, one wineserver kept up for
# the whole run and, when no display is set, a private Xvfb. Afterwards no
# Wine or X process of the run is left behind.
set -uo pipefail
build=$(cd "${1:?usage: wine-session.sh BUILD_DIR COMMAND...}" && pwd)
shift

export WINEPREFIX=$build/wineprefix
export WINEDEBUG=${WINEDEBUG:--all}
export WINEARCH=win64
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=}

xvfb_pid=
cleanup() {
  wineserver -k >/dev/null 2>&1
  wineserver -w >/dev/null 2>&1
  if [ -n "$xvfb_pid" ]; then
    kill "$xvfb_pid" 2>/dev/null
    wait "$xvfb_pid" 2>/dev/null
  fi
}
trap cleanup EXIT
trap 'exit 130' INT TERM

if [ -z "${DISPLAY:-}" ]; then
  fifo=$(mktemp -u)
  mkfifo "$fifo"
  Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
  xvfb_pid=$!
  read -r -t 20 display <"$fifo" || { echo "wine-session: Xvfb did not start" >&2; rm -f "$fifo"; exit 1; }
  rm -f "$fifo"
  export DISPLAY=:$display
fi

# Make the prefix (first use only) through the runner, then keep the server.
"$build/wine-run" cmd /c exit 0 >/dev/null 2>&1 || true
wineserver -p >/dev/null 2>&1

"$@"
