#!/usr/bin/env bash
# Installs the Debian packages the library, its tests and its demo need.
# As root it runs apt-get itself; otherwise it prints the command and stops.
set -euo pipefail

PACKAGES=(
  build-essential cmake pkg-config
  libopencv-dev libopencv-contrib-dev libraw-dev liblcms2-dev libexif-dev
  libjpeg62-turbo-dev libpng-dev libtiff-dev libwebp-dev colord-data
  liblensfun-dev liblensfun-data-v1 libglib2.0-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  rawtran-doc
  nlohmann-json3-dev python3-numpy python3-pytest python3-distributed doxygen
  python3-venv python3-pip python3-setuptools
)
PACKAGES+=("$@")

missing=()
for pkg in "${PACKAGES[@]}"; do
  dpkg-query -W -f='${Status}' "$pkg" 2>/dev/null | grep -q "install ok installed" || missing+=("$pkg")
done
[ ${#missing[@]} -eq 0 ] && exit 0

if [ "$(id -u)" -ne 0 ]; then
  echo "Missing Debian packages. Install them with:" >&2
  echo "  sudo apt-get update && sudo apt-get install -y ${missing[*]}" >&2
  exit 1
fi
echo "== installing: ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -qq
apt-get install -y -qq --no-install-recommends "${missing[@]}"
