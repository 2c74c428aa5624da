#!/usr/bin/env bash
# Builds the zelusb wheel offline, with the C library and the firmware images of a native build
# inside it:
#
#   python/build_wheel.sh BUILD_DIR OUT_DIR      (BUILD_DIR: build/native, say)
#
# The package's sources are copied to a folder of their own first, so the checkout stays clean.
set -euo pipefail
# Debian's interpreter, which has Debian's build, setuptools, venv and pytest (a python3 found
# earlier on PATH may lack them).
python=/usr/bin/python3
[[ -x $python ]] || python=python3
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

cp -r "$here/pyproject.toml" "$here/setup.py" "$here/README.md" "$here/zelusb" "$stage/"
cp "$build/capi/libzelusbc.so" "$build"/capi/CypressFirmware*.ihx "$stage/zelusb/"
# A debug build's symbols stay in the build, not in the wheel.
if command -v strip >/dev/null; then strip --strip-debug "$stage/zelusb/libzelusbc.so"; fi
version=$(sed -n 's/^project(ZELUSB VERSION \([0-9.]*\).*/\1/p' "$here/../CMakeLists.txt")
sed -i "s/@VERSION@/$version/" "$stage/pyproject.toml" "$stage/zelusb/__init__.py"
cd "$stage"
"$python" -m build --no-isolation --wheel --outdir "$out" >"$stage/build.log" 2>&1 || {
  cat "$stage/build.log" >&2
  exit 1
}
ls "$out"/zelusb-"$version"-*.whl
