#!/bin/bash
# Runs every test as scripts/test.sh does, beside a CPU load of its own: an
# office's build server, a laptop or a shared CI runner is never idle, and a
# test that only passes on an idle machine hides a fault or is one.
#
# The load: BUSY busy loops (`sh -c 'while :; do :; done'`, six unless
# BUSY says otherwise), started here and stopped however the script ends.
# Six loops plus the tests themselves keep the load average near 8 on the
# two cores the project's machines have.  Arguments go to ctest (e.g.
# `-R test_serverfeatures` to run one test under load).
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
python3 scripts/check_layers.py --strict

busy=()
stop_load() {
  for pid in "${busy[@]}"; do
    kill "$pid" 2>/dev/null || true
  done
  for pid in "${busy[@]}"; do
    wait "$pid" 2>/dev/null || true
  done
}
trap stop_load EXIT
trap 'exit 130' INT TERM

for _ in $(seq "${BUSY:-6}"); do
  sh -c 'while :; do :; done' &
  busy+=("$!")
done
echo "Load: ${#busy[@]} busy loops (${busy[*]}); load average now $(cut -d' ' -f1-3 /proc/loadavg)"

status=0
ctest --test-dir build --output-on-failure "$@" || status=$?
echo "Load average at the end: $(cut -d' ' -f1-3 /proc/loadavg)"
exit "$status"
