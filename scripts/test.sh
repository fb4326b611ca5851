#!/bin/bash
# Builds everything (see setup.sh), checks the layers and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# The layers and the shape of the code, before the tests.
python3 scripts/check_layers.py --strict
ctest --test-dir build --output-on-failure
