#!/usr/bin/env bash
# Builds a zelusb wheel offline, with the C library and the firmware images of a build inside:
#
#   python/build_wheel.sh BUILD_DIR OUT_DIR [PLATFORM]
#
# PLATFORM is linux_x86_64 (the default; BUILD_DIR build/release), win_amd64 (build/mingw-x86_64)
# or win32 (build/mingw-i686); the wheel is tagged py3-none-PLATFORM, so any Python 3 from 3.8
# on that platform installs it. The library goes in stripped. The package's sources are copied
# to a folder of their own first, so the checkout stays clean.
set -euo pipefail
# Debian's interpreter, which has Debian's build, setuptools, venv and pytest (a python3 found
# earlier on PATH may lack them).
python=/usr/bin/python3
[[ -x $python ]] || python=python3
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
platform=${3:-linux_x86_64}
case $platform in
  linux_x86_64) library=libzelusbc.so strip=strip ;;
  win_amd64) library=zelusbc64.dll strip=x86_64-w64-mingw32-strip ;;
  win32) library=zelusbc32.dll strip=i686-w64-mingw32-strip ;;
  *) echo "build_wheel: unknown platform $platform" >&2; exit 2 ;;
esac
stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT

cp -r "$here/pyproject.toml" "$here/setup.py" "$here/README.md" "$here/zelusb" "$stage/"
rm -rf "$stage/zelusb/__pycache__"
cp "$build/capi/$library" "$build"/capi/CypressFirmware*.ihx "$stage/zelusb/"
"$strip" --strip-unneeded "$stage/zelusb/$library"
printf '[bdist_wheel]\npython_tag = py3\nplat_name = %s\n' "$platform" >"$stage/setup.cfg"
version=$(sed -n 's/^project(ZELUSB VERSION \([0-9.]*\).*/\1/p' "$here/../CMakeLists.txt")
sed -i "s/@VERSION@/$version/" "$stage/pyproject.toml" "$stage/zelusb/__init__.py"
cd "$stage"
"$python" -m build --no-isolation --wheel --outdir "$out" >"$stage/build.log" 2>&1 || {
  cat "$stage/build.log" >&2
  exit 1
}
ls "$out/zelusb-$version-py3-none-$platform.whl"
