#!/bin/bash
# Installs what the build needs (Debian 12, as root), then configures and
# builds into build/: everything, or only the targets named as arguments
# (start.sh builds only the program).  The package step is skipped when all
# packages are already there, so running this again is quick.
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(cmake ninja-build g++ pkgconf qt6-base-dev qt6-tools-dev libqt6sql6-sqlite
          qt6-webengine-dev qt6-serialport-dev libfreexl-dev libxlsxwriter-dev mdbtools
          mdbtools-dev libminizip-dev libsqlite3-dev sqlite3 xvfb xauth fonts-wqy-microhei imagemagick
          qt6-translations-l10n python3
          desktop-file-utils appstream lintian dpkg-dev  # the package and its checks
          dbus-daemon  # a private session bus for the notification tests
          libphonenumber-dev  # the region of a number (offline geocoder)
          postgresql-15 libqt6sql6-psql libpq-dev  # the server several desks share
          qt6-charts-dev  # the call statistics charts
          qtkeychain-qt6-dev gnome-keyring  # the server's password in the keyring, and one for its tests
          gnumeric  # ssconvert: an independent reader of the .xls files the export writes
          baresip)  # the SIP line (the program starts its own baresip)

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if ((${#missing[@]})); then
  echo "Installing packages (missing: ${missing[*]})"
  apt-get update && DEBIAN_FRONTEND=noninteractive apt-get install -y --no-install-recommends "${packages[@]}"
fi

cmake -S . -B build -G Ninja
if (($#)); then
  cmake --build build --target "$@"
else
  cmake --build build
fi
