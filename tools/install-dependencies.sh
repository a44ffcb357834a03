#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing need,
# and the locales the tests run under. Does nothing when all are present.
set -euo pipefail

packages=(
  # build
  g++ cmake ninja-build pkg-config
  qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libgl-dev
  libgsf-1-dev
  # .xlsx files
  libxlsxwriter-dev
  # tests
  libgtest-dev libgmock-dev locales
  # the display tier: real windows under a window manager, real input
  openbox libx11-dev libxtst-dev libxfixes-dev
  # fuzzing with libFuzzer under the sanitizers
  clang-14 libclang-rt-14-dev
  # the layout every source file keeps (.clang-format)
  clang-format-14
  # drawing like a spreadsheet does: Arial maps to Liberation Sans
  fonts-liberation
  # looking at the program on a virtual display
  xvfb xauth imagemagick
  # the Debian package: CPack's library dependencies, and the checks of the
  # desktop entry and the metainfo
  dpkg-dev file desktop-file-utils appstream
  # interoperability checks: real programs read our files
  gnumeric libreoffice-calc-nogui python3-xlrd python3-olefile
  python3-openpyxl poppler-utils
)

missing=()
for package in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${Status}' "$package" 2>/dev/null || true)
  [[ "$status" == "install ok installed" ]] || missing+=("$package")
done

if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi

# The tests run under US English and German.
wanted_locales=(en_US.UTF-8 de_DE.UTF-8)
regenerate=0
for wanted in "${wanted_locales[@]}"; do
  short=${wanted/UTF-8/utf8}
  if ! locale -a 2>/dev/null | grep -qx "$short"; then
    sed -i "s/^# *${wanted} UTF-8/${wanted} UTF-8/" /etc/locale.gen
    grep -q "^${wanted} UTF-8" /etc/locale.gen || echo "${wanted} UTF-8" >> /etc/locale.gen
    regenerate=1
  fi
done
if ((regenerate)); then
  locale-gen >/dev/null
fi
