#!/usr/bin/env bash
# Installs the build tree into a temporary prefix and builds and runs a host
# project against it, runs the installed program and Python package, and
# installs the Python package with pip into a virtual environment:
# run.sh BUILD_DIR
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
# The installed program finds its library by itself, and the manual page is there.
version=$(env -u LD_LIBRARY_PATH "$work/prefix/bin/vornalix" --version)
test -f "$work/prefix/share/man/man1/vornalix.1"
# The installed Python package finds the installed library by itself.
pydir=$(dirname "$(dirname "$(find "$work/prefix" -path '*/vornalix/__init__.py' | head -n 1)")")
PYTHONPATH="$pydir" /usr/bin/python3 -c \
  'import sys, vornalix; assert vornalix.library_path.startswith(sys.argv[1]), vornalix.library_path
assert sys.argv[2] == "vornalix " + vornalix.__version__, sys.argv[2]' "$work/prefix" "$version"
# pip installs the package from the source tree; it finds the built library.
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
VORNALIX_BUILD_DIR=$(cd "$build" && pwd) "$work/venv/bin/pip" install -q --no-index --no-build-isolation \
  "$here/../../python"
"$work/venv/bin/python" -c 'import sys, vornalix; assert vornalix.library_path.startswith(sys.argv[1])' \
  "$(cd "$build" && pwd)"
