#!/usr/bin/env bash
# The library as its users load it: builds the simulator flavour of ZELUSB.dll (its driver is
# the virtual bench on real time), registers it in a private wine prefix and runs demo.vbs
# through the real COM interface. ZELUSB_BENCH may name a bench description (JSON); without it
# the default bench is used. Then the C++ example (client.cpp) runs against it. The library is
# the 32-bit one, the product's bitness; without 32-bit wine it is the 64-bit one under wine64.
set -euo pipefail
cd "$(dirname "$0")/.."

quietly() {
  local out
  if ! out=$("$@" 2>&1); then
    printf '%s\n' "$out" >&2
    exit 1
  fi
}

[[ -n ${ZEL_SETUP_DONE:-} ]] || quietly bash scripts/setup
source scripts/lib/wine32.sh
if wine32_present; then
  bits=32 preset=mingw-i686
else
  bits=64 preset=mingw-x86_64
fi
quietly cmake --preset $preset
quietly cmake --build --preset $preset --target ZELUSB_bench zel_example_client

module=build/$preset/module
wine_check() { bash tests/module/wine/wine_check.sh "$PWD/$module/wine-prefix" $bits "$@"; }
trap 'wine_check stop' EXIT
echo "Preparing the wine prefix for the $bits-bit library (the first time takes half a minute)..."
wine_check start

printf '\n$ regsvr32 ZELUSB.dll && cscript //nologo examples/demo.vbs\n\n'
wine_check script "$module/bench/ZELUSB.dll" examples/demo.vbs "${ZELUSB_BENCH:--}" \
  "Demo finished."

printf '\n$ client.exe   (examples/client.cpp)\n\n'
wine_check client "$module/bench/ZELUSB.dll" "$module/zel_example_client.exe"
