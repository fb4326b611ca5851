#!/bin/bash
# Builds the program (see setup.sh) and starts it in its program folder
# build/program/.  Without a display it runs under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

cd build/program
# Qt WebEngine refuses its sandbox when run as root.
if [ "$(id -u)" = 0 ]; then
  export QTWEBENGINE_DISABLE_SANDBOX=1
fi
if [ -z "${DISPLAY:-}" ]; then
  echo "No DISPLAY set: starting tavrin under xvfb-run (virtual display)."
  exec xvfb-run -a ./tavrin "$@"
fi
exec ./tavrin "$@"
