#!/bin/bash
# Builds the program (see setup.sh) and its Debian package into build/deb/,
# then runs lintian over the package.  Install it with
#   apt install ./build/deb/tavrin_*.deb
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
rm -rf build/deb
cpack -G DEB -B build/deb --config build/CPackConfig.cmake
lintian --fail-on error --tag-display-limit 0 build/deb/*.deb
ls build/deb/*.deb
