"""Prints where an interpreter finds packages under an install prefix, relative
to the prefix: python3 install_dir.py PREFIX

A package directory on the interpreter's own path wins (Debian's
lib/python3/dist-packages under /usr, lib/python3.X/dist-packages under
/usr/local, a virtual environment's site-packages); any other prefix gets the
interpreter's standard layout, lib/python3.X/site-packages."""

import os
import sys
import sysconfig

prefix = os.path.abspath(sys.argv[1])
for entry in sys.path:
    relative = os.path.relpath(entry, prefix) if entry else ".."
    if relative.startswith("lib" + os.sep) and os.path.basename(entry) in ("site-packages", "dist-packages"):
        print(relative)
        break
else:
    standard = sysconfig.get_path("purelib", "posix_prefix", vars={"base": prefix, "platbase": prefix})
    print(os.path.relpath(standard, prefix))
