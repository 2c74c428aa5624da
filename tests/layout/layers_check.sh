#!/usr/bin/env bash
# The layers point one way: a file may include its own folder's headers and those of the layers
# below it (module → controls → devices → link → platform; capi beside module over controls;
# the bench over the device register maps), and nothing below module/ but the *_win32 files
# of platform/ includes a Windows header (automation_win32.h gives the members the real BSTR).
# Prints every include that breaks this.
set -uo pipefail
cd "${1:-$(dirname "$0")/../..}"

declare -A rank=([platform]=0 [link]=1 [devices]=2 [controls]=3 [module]=4 [capi]=4)
declare -A allowed=([sim]="platform link devices sim")
windows_headers='windows|winusb|setupapi|ole2|oleauto|objbase|ocidl|olectl|winbase|winioctl|usbiodef|initguid|devguid'
bad=0

while IFS= read -r line; do
  file=${line%%:*} rest=${line#*:}
  layer=${file%%/*}
  target=$(sed -nE 's/^[0-9]+:#include "([a-z_]+)\/.*/\1/p' <<<"$rest")
  [[ -n $target && $target != "$layer" ]] || continue
  if [[ -n ${allowed[$layer]:-} ]]; then
    [[ " ${allowed[$layer]} " == *" $target "* ]] && continue
  elif [[ -n ${rank[$layer]:-} && -n ${rank[$target]:-} ]]; then
    ((rank[$target] < rank[$layer])) && continue
    [[ $layer == capi && $target == controls ]] && continue
  else
    continue
  fi
  echo "upward include: $file:$rest"
  bad=1
done < <(grep -rnE '^#include "' platform link devices controls module capi sim --include='*.h' --include='*.cpp' /dev/null | sed 's|^\./||')

while IFS= read -r line; do
  file=${line%%:*}
  [[ $file == platform/*_win32.cpp || $file == platform/*_win32.h ]] && continue
  echo "Windows header below module/: $line"
  bad=1
done < <(grep -rniE "^#include <($windows_headers)[a-z0-9_]*\.h>" platform link devices controls sim --include='*.h' --include='*.cpp')

((bad == 0)) && echo "layers: every include points down"
exit "$bad"
