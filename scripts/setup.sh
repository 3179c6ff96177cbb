#!/usr/bin/env bash
# Installs the Debian packages Taviro needs to build, run and test, skipping
# those already present, then configures and builds it in build/.
# Usage: scripts/setup.sh [extra cmake options...]
set -euo pipefail
cd "$(dirname "$0")/.."

packages=(
  g++ cmake make
  qt6-base-dev qt6-base-dev-tools libgl-dev   # Qt 6 Widgets, Network, PrintSupport, Test
  xvfb xauth                                  # a display for machines without one
  fonts-dejavu-core                           # a general font for the editor and dialogs
  poppler-utils                               # the print and manual tests read back PDFs
  python3-pyftpdlib vsftpd                    # real FTP servers the upload tests start
  nginx-light                                 # a real HTTP server the Get File tests start
  curl                                        # the network benchmarks' peer
  desktop-file-utils appstream dpkg-dev file  # desktop files, metainfo and the .deb
)

missing=()
for p in "${packages[@]}"; do
  if [ "$(dpkg-query -W -f='${Status}' "$p" 2>/dev/null)" != "install ok installed" ]; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "Installing: ${missing[*]}"
  sudo=""
  [ "$(id -u)" -eq 0 ] || sudo="sudo"
  $sudo apt-get update -qq
  DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

cmake -S . -B build "$@" >/dev/null
cmake --build build -j"$(nproc)"
