#!/usr/bin/env bash
# How the installer check reads the two registry views (registry_views.sh), on made-up trees:
# the layouts wine writes with and without a 32-bit side pass, and each fault a package could
# have in its 32-bit rows fails. No wine is needed.
set -uo pipefail
source "$(dirname "$0")/registry_views.sh"

folder64='C:\Program Files\ZELUSB' folder32='C:\Program Files (x86)\ZELUSB32'
dll64='C:\\Program Files\\ZELUSB\\ZELUSB.dll' dll32='C:\\Program Files (x86)\\ZELUSB32\\ZELUSB.dll'
classes='[software\\classes'
clsid='clsid\\{72b4b28b-9df6-4e69-9e00-f1ee51001add}'
iface='interface\\{080f7e03-ac50-4949-aaca-e79f82d3099f}'
progid='zelusb.kestrincontrol'

# The keys of one class and its interface in a view (WOW "" or "wow6432node\\"), naming DLL.
redirected_lines() {
  local wow=$1 dll=$2
  printf '%s\n' "$classes\\\\$wow$clsid]|@=\"ZEL Kestrin-USB Control\"" \
    "$classes\\\\$wow$clsid\\\\inprocserver32]|@=\"$dll\"" \
    "$classes\\\\$wow$iface]|@=\"IKestrinControl\""
}
# The keys both views share, once, or as a copy under Wow6432Node with WOW "wow6432node\\".
shared_lines() {
  local wow=${1:-} version=${2:-1}
  printf '%s\n' "$classes\\\\$wow$progid\\\\curver]|@=\"ZELUSB.KestrinControl.$version\""
  [[ -n $wow ]] && return
  printf '%s\n' "$classes\\\\appid\\\\zelusb.dll]|\"AppID\"=\"{871D8DC2}\"" \
    "$classes\\\\typelib\\\\{871d8dc2}\\\\1.0\\\\0\\\\win32]|@=\"$dll32\""
}

# The tree of a layout: both views as wine writes them with a 32-bit side ("wow64"), or with
# the ProgID copy it writes without one ("copy"), and the faults on top of them.
tree() {
  case $1 in
  wow64) { redirected_lines "" "$dll64"; shared_lines; redirected_lines 'wow6432node\\' "$dll32"; } ;;
  copy) { tree wow64; shared_lines 'wow6432node\\'; } ;;
  copy-differs) { tree wow64; shared_lines 'wow6432node\\' 2; } ;;
  no-32-bit-class) { tree wow64 | grep -v "wow6432node\\\\\\\\clsid"; } ;;
  no-32-bit-interface) { tree wow64 | grep -v "wow6432node\\\\\\\\interface"; } ;;
  32-bit-class-names-64-bit-dll)
    { redirected_lines "" "$dll64"; shared_lines; redirected_lines 'wow6432node\\' "$dll64"; } ;;
  32-bit-class-in-shared-view)
    { redirected_lines "" "$dll64"; shared_lines; } ;;
  esac | LC_ALL=C sort
}

failures=0 checks=0
# Layout, the reference ("-" none: a prefix without a 32-bit side), and the outcome.
while read -r layout reference want; do
  checks=$((checks + 1))
  ref=""
  [[ $reference != - ]] && ref=$(tree "$reference")
  views_check "$(tree "$layout")" "$folder64" "$folder32" ${ref:+"$ref"} >/dev/null &&
    got=pass || got=fail
  if [[ $got != "$want" ]]; then
    echo "FAILED: $layout against ${reference/#-/no reference}: got $got, expected $want"
    failures=$((failures + 1))
  fi
done <<'ROWS'
wow64                          -     pass
copy                           -     pass
copy-differs                   -     fail
no-32-bit-class                -     fail
no-32-bit-interface            -     fail
32-bit-class-names-64-bit-dll  -     fail
32-bit-class-in-shared-view    -     fail
wow64                          wow64 pass
copy                           wow64 fail
no-32-bit-class                wow64 fail
32-bit-class-names-64-bit-dll  wow64 fail
ROWS

# The folder is taken out as the registry file writes it, whole, and nothing else with it.
while read -r text folder want; do
  checks=$((checks + 1))
  got=$(without_folder "$text" "$folder")
  if [[ $got != "$want" ]]; then
    echo "FAILED: without_folder '$text' '$folder': got '$got', expected '$want'"
    failures=$((failures + 1))
  fi
done <<'ROWS'
@="C:\\Apps\\ZELUSB\\ZELUSB.dll" C:\Apps\ZELUSB @="<folder>\\ZELUSB.dll"
@="C:\\Apps\\ZELUSB32\\ZELUSB.dll" C:\Apps\ZELUSB @="<folder>32\\ZELUSB.dll"
@="C:\\Apps\\ZELUSB\\ZELUSB.dll" C:\Other @="C:\\Apps\\ZELUSB\\ZELUSB.dll"
ROWS

echo "$checks checks, $failures failed"
((failures == 0)) && echo "registry view checks PASSED"
((failures == 0))
