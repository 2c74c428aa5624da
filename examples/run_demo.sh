#!/usr/bin/env bash
# The library as its users load it: builds the 32-bit simulator flavour of ZELUSB.dll (its
# driver is the virtual bench on real time), registers it in a private wine prefix and runs
# demo.vbs through the real COM interface. ZELUSB_BENCH may name a bench description (JSON);
# without it the default bench is used. Then the C++ example (client.cpp) runs against it.
set -euo pipefail
cd "$(dirname "$0")/.."

quietly() {
  local out
  if ! out=$("$@" 2>&1); then
    printf '%s\n' "$out" >&2
    exit 1
  fi
}

quietly bash scripts/setup
quietly cmake --preset mingw-i686
quietly cmake --build --preset mingw-i686 --target ZELUSB_bench zel_example_client

module=build/mingw-i686/module
wine_check() { bash tests/module/wine/wine_check.sh "$PWD/$module/wine-prefix" 32 "$@"; }
trap 'wine_check stop' EXIT
echo "Preparing the wine prefix (the first time takes half a minute)..."
wine_check start

printf '\n$ regsvr32 ZELUSB.dll && cscript //nologo examples/demo.vbs\n\n'
wine_check script "$module/bench/ZELUSB.dll" examples/demo.vbs "${ZELUSB_BENCH:--}" \
  "Demo finished."

printf '\n$ client.exe   (examples/client.cpp)\n\n'
wine_check client "$module/bench/ZELUSB.dll" "$module/zel_example_client.exe"
