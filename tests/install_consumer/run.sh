#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and builds and runs a host
# project against it: run.sh BUILD_DIR SOURCE_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cmake --install "$build" --prefix "$work/prefix" >/dev/null
libdir=$(dirname "$(find "$work/prefix" -name 'libvornalix.so' | head -n 1)")
export PKG_CONFIG_PATH="$libdir/pkgconfig"
cmake -S "$here" -B "$work/build" -DCMAKE_PREFIX_PATH="$work/prefix" >/dev/null
cmake --build "$work/build" >/dev/null
LD_LIBRARY_PATH="$libdir" "$work/build/with_package"
LD_LIBRARY_PATH="$libdir" "$work/build/with_pkgconfig"
# The installed Python package finds the installed library by itself.
pydir="$work/prefix/lib/python3/dist-packages"
if [ -d "$pydir/vornalix" ]; then
  PYTHONPATH="$pydir" /usr/bin/python3 -c \
    'import sys, vornalix; assert vornalix.library_path.startswith(sys.argv[1]), vornalix.library_path' "$work/prefix"
fi
