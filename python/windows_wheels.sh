#!/usr/bin/env bash
# Builds the Windows wheels into OUT from the cross builds (build/mingw-x86_64, build/mingw-i686)
# and checks each: the files it must hold, and the C check program run under wine beside the
# DLL taken out of the wheel, in that bitness's wine prefix. No Windows Python runs here.
#
#   python/windows_wheels.sh OUT
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
root=$(cd "$here/.." && pwd)
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
status=0
for row in "x86_64 win_amd64 64" "i686 win32 32"; do
  read -r arch platform bits <<<"$row"
  build=$root/build/mingw-$arch
  wheel=$(bash "$here/build_wheel.sh" "$build" "$1" "$platform")
  unpacked=$work/$platform
  mkdir "$unpacked"
  (cd "$unpacked" && "${PYTHON:-/usr/bin/python3}" -m zipfile -e "$wheel" .)
  for file in zelusbc$bits.dll CypressFirmwareKestrin.ihx CypressFirmwareOrvane.ihx \
    CypressFirmwarePolyax.ihx controls.py py.typed; do
    [[ -e $unpacked/zelusb/$file ]] || { echo "$(basename "$wheel"): no zelusb/$file" >&2; exit 1; }
  done
  if ls "$unpacked"/zelusb/*.so >/dev/null 2>&1; then echo "$(basename "$wheel"): holds a .so" >&2; exit 1; fi
  cp "$build/capi/zelusbc_check.exe" "$unpacked/zelusb/"
  # Exit status 77: this bitness's wine is missing (wine_check.sh says why).
  result=0
  bash "$root/tests/module/wine/wine_check.sh" "$build/module/wine-prefix" "$bits" program \
    "$unpacked/zelusb/zelusbc_check.exe" || result=$?
  if ((result == 77)); then
    echo "$(basename "$wheel"): the C check SKIPPED under wine"
  elif ((result != 0)); then
    echo "$(basename "$wheel"): the C check FAILED under wine" >&2
    status=1
  else
    echo "$(basename "$wheel"): contents checked, the C check passed under wine"
  fi
done
exit "$status"
