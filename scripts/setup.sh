#!/usr/bin/env bash
# Installs what the build and the tests need, from Debian's packages.
# Idempotent: packages already present are not fetched again.
set -euo pipefail

packages=(cmake g++-mingw-w64-i686 g++-mingw-w64-x86-64 wine64 wine xvfb xdotool imagemagick fonts-wine
          python3-pefile doctest-dev x11-utils)
missing=()
for p in "${packages[@]}"; do
  dpkg -s "$p" >/dev/null 2>&1 || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
  echo "setup: installing ${missing[*]}"
  sudo_cmd=""
  [ "$(id -u)" -eq 0 ] || sudo_cmd="sudo"
  $sudo_cmd apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo_cmd apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
fi
