#!/bin/bash
# Builds the program alone (see setup.sh; the tests and benchmarks are not
# built) and starts it in its program folder build/program/.  Without a
# display it runs under a virtual X server.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh program

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
