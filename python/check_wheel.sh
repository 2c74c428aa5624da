#!/usr/bin/env bash
# Builds the wheel from a native build, installs it into a fresh virtual environment and runs
# the package's tests there with pytest, from a folder outside the checkout (so the installed
# package is the one tested). The session on real units runs on the usb tests' emulated bus
# when the build has its host program and umockdev-wrapper is there.
#
#   python/check_wheel.sh BUILD_DIR [PYTEST ARGS...]
set -euo pipefail
# Debian's interpreter, which has Debian's build, setuptools, venv and pytest (a python3 found
# earlier on PATH may lack them).
python=/usr/bin/python3
[[ -x $python ]] || python=python3
here=$(cd "$(dirname "$0")" && pwd)
build=$(cd "$1" && pwd)
shift
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

wheel=$(bash "$here/build_wheel.sh" "$build" "$work/dist")
echo "wheel: $(basename "$wheel")"
# Debian's pytest comes in through the system site packages; nothing comes from an index.
"$python" -m venv --system-site-packages "$work/venv"
"$work/venv/bin/python" -m pip install --quiet --no-index --no-deps "$wheel"
if [[ -x $build/capi/usb_session_host ]] && command -v umockdev-wrapper >/dev/null; then
  export ZELUSB_USB_HOST=$build/capi/usb_session_host
fi
export ZELUSB_C_CHECK=$build/capi/zelusbc_check
export ZELUSB_VENV=$work/venv
cp -r "$here/tests" "$work/tests"
cd "$work"
"$work/venv/bin/python" -m pytest -p no:cacheprovider "$@" tests
