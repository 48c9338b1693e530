#!/usr/bin/env bash
# Installs the Debian packages the build, the program and the tests need, skipping those present.
set -euo pipefail
packages=(
  cmake ninja-build g++ pkg-config ccache
  qt6-base-dev qt6-base-dev-tools qt6-translations-l10n libgl-dev
  libsqlite3-dev
  postgresql postgresql-contrib libpq-dev
  libxlsxwriter-dev unzip
  fonts-arphic-uming fonts-wqy-zenhei
  poppler-utils
  dpkg-dev lintian
)
missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0
echo "Installing: ${missing[*]}"
sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
"${sudo_cmd[@]}" apt-get update -qq
DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -qq --no-install-recommends "${missing[@]}"
