#!/bin/sh
# The Python package installed as a user installs it: pip from the source directory, offline,
# with Debian's pybind11 and setuptools, into a fresh virtual environment; then its tests.
# Usage: python_pip.sh SOURCE_ROOT
set -eu
root=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
# A copy, so that pip's in-tree build leaves the source tree as it was.
cp -r "$root/python" "$root/lib" "$work/"
rm -rf "$work/python/build" "$work/python"/*.egg-info
/usr/bin/python3 -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install -q --no-build-isolation --no-index "$work/python"
cd "$work"
"$work/venv/bin/python" -m pytest -q -p no:cacheprovider "$work/python/tests"
