#!/usr/bin/env bash
# Builds the wheel from a native build, installs it into a fresh virtual environment and runs
# COMMAND there, with the environment's python first on PATH, in a folder outside the checkout
# that holds a copy of the package's tests (so the package found is the one installed):
#
#   python/with_wheel.sh BUILD_DIR COMMAND [ARGS...]
#   python/with_wheel.sh build/release python -m pytest -q tests       the package's tests
#
# The session on real units runs on the usb tests' emulated bus when the build has its host
# program (ZELUSB_USB_HOST) and umockdev-wrapper is there.
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
export ZELUSB_WHEEL=$wheel
# The Windows wheels the test command builds beside the installers, when they are there.
export ZELUSB_PACKAGES=$here/../build/packages
export ZELUSB_VENV=$work/venv
export ZELUSB_README=$here/../README.md
export PATH=$work/venv/bin:$PATH
cp -r "$here/tests" "$work/tests"
cd "$work"
"$@"
