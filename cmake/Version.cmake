# The library's version, written here only: it becomes the project version of
# the build and the fuzz build, and from there the header's VORNALIX_VERSION_*
# macros, vornalix_version(), the soname, the pkg-config file and the Python
# package's __version__.
set(VORNALIX_VERSION 1.0.0)
