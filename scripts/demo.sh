#!/usr/bin/env bash
# The main job: installs what is missing, builds, and develops a real camera
# RAW file into an edited picture under out/.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/setup.sh
# A tree of its own, so the test tree in build/ keeps its tests.
scripts/build.sh build-demo -DVORNALIX_BUILD_TESTS=OFF
mkdir -p out

raw=/usr/share/doc/rawtran/IMG_5952.CR2   # Debian package rawtran-doc
output=out/IMG_5952-developed.jpg
build-demo/tools/vornalix develop "$raw" -o "$output" \
  --temperature 5200 --exposure 0.5 --contrast 15 \
  --curve master 0,0,0.25,0.22,0.75,0.80,1,1 \
  --saturation 10 --vibrance 15 --sharpening 30 --vignette 15
echo "Developed $raw into $(pwd)/$output"
