#!/usr/bin/env bash
# The installer packages under wine, one scenario a row, each in a fresh prefix (a copy of one
# booted once):
#
#   install_checks.sh BITS PACKAGES WORK
#
# BITS 64 checks ZELUSB-*-x64.msi under wine64, BITS 32 ZELUSB-*-x86.msi under 32-bit wine.
# PACKAGES is the folder make_packages.sh filled, WORK a scratch folder for the prefixes.
# After each scenario the prefix is compared as a whole (registry and program folders) with
# the fresh one, or the library's registry entries with what regsvr32 writes for the same
# files in another fresh prefix.
set -euo pipefail

bits=$1 packages=$(cd "$2" && pwd) work=$3
here=$(cd "$(dirname "$0")" && pwd)
source "$here/../../scripts/lib/wine32.sh"
source "$here/registry_tree.sh"
source "$here/registry_views.sh"

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

# Prepared on the build machine, before 32-bit wine's root is entered (which has no wixl):
# the package, its product code and a newer package, the same sources one build number up.
if [[ -z ${ZEL_INSTALL_PACKAGE:-} ]]; then
  platform=x64
  [[ $bits == 32 ]] && platform=x86
  shopt -s nullglob
  found=("$packages"/ZELUSB-*-$platform.msi)
  ((${#found[@]} == 1)) ||
    fail "expected one ZELUSB-*-$platform.msi in $packages (installer/make_packages.sh)"
  version=$(basename "${found[0]}" | sed 's/^ZELUSB-\(.*\)-.*\.msi$/\1/')
  major=${version%.*.*} rest=${version#*.*.}
  newer_version=$major.$((${rest%.*} + 1)).${rest#*.}
  rm -rf "$work"
  mkdir -p "$work"
  bash "$here/../../installer/make_packages.sh" "$work/newer" "$newer_version" >/dev/null
  export ZEL_INSTALL_PACKAGE=${found[0]}
  export ZEL_INSTALL_NEWER=$work/newer/ZELUSB-$newer_version-$platform.msi
  ZEL_INSTALL_PRODUCT=$(msiinfo export "$ZEL_INSTALL_PACKAGE" Property | tr -d '\r' |
                        awk -F '\t' '$1 == "ProductCode" { print $2 }')
  export ZEL_INSTALL_PRODUCT
fi
package=$ZEL_INSTALL_PACKAGE newer=$ZEL_INSTALL_NEWER product_code=$ZEL_INSTALL_PRODUCT

if [[ $bits == 32 ]]; then
  case $(wine32_kind) in
  none) echo "SKIPPED: $wine32_missing_reason"; exit 77 ;;
  root) code=0; wine32_run bash "$0" "$bits" "$packages" "$work" || code=$?
        exit "$code" ;;
  esac
  export WINEARCH=win32
  native=wine
  # Each library: its folder, and the registry view its rows are in ("" the view of its bits).
  libraries=('C:\Program Files\ZELUSB|')
else
  export WINEARCH=win64
  native=/usr/lib/wine/wine64
  libraries=('C:\Program Files\ZELUSB|' 'C:\Program Files (x86)\ZELUSB32|Wow6432Node\\')
fi
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

base=$work/base
use_prefix() { export WINEPREFIX=$1; }
# Runs a wine program and waits for the prefix's server to end, which writes the registry; the
# server is started to end as soon as its last program has.
run() {
  local code=0
  wineserver -p0 2>/dev/null || true
  "$@" || code=$?
  wineserver -w
  return "$code"
}
msi() {
  local code=0
  run wine msiexec "$@" /qn || code=$?
  echo "$code"
}
fresh() {
  rm -rf "$work/$1"
  cp -a "$base" "$work/$1"
  use_prefix "$work/$1"
}
unix_path() { echo "$WINEPREFIX/drive_c/$(sed 's|^C:\\||; s|\\|/|g' <<<"$1")"; }

mkdir -p "$base"
use_prefix "$base"
run wine wineboot >/dev/null 2>&1
# The script host registers its own type library when it first runs: once here, so that the
# client below changes nothing of the fresh state.
echo 'WScript.Echo "ready"' >"$work/ready.vbs"
(cd "$work" && run $native cscript //nologo ready.vbs >/dev/null)
clean=$(prefix_snapshot "$base")

# The reference: the installed files registered by regsvr32 in a fresh prefix, at the same
# paths. Only a library this wine can load is registered here (wine64 on this machine may
# lack the 32-bit loader); the other view is checked against the first below.
reference() {
  local installed=$WINEPREFIX entry folder
  fresh reference
  for entry in "${libraries[@]}"; do
    folder=${entry%%|*}
    mkdir -p "$(unix_path "$folder")"
    cp "$(unix_path "$folder" | sed "s|^$WINEPREFIX|$installed|")"/* "$(unix_path "$folder")/"
  done
  folder=${libraries[0]%%|*}
  [[ $(run wine regsvr32 /s "$folder\\ZELUSB.dll"; echo $?) == 0 ]] || fail "regsvr32 in the reference prefix"
  library_tree "$WINEPREFIX"
  use_prefix "$installed"
}

# Lines of a tree in one view, with the view's name and its library's folder taken out.
view() {
  local tree=$1 entry=$2 folder
  folder=$(sed 's/\\/\\\\\\\\/g; s/[()]/\\&/g' <<<"${entry%%|*}")
  local key=${entry#*|}
  if [[ -n $key ]]; then
    grep -i "^\[software\\\\\\\\classes\\\\\\\\wow6432node" <<<"$tree" |
      sed 's/^\[software\\\\classes\\\\wow6432node/[software\\\\classes/I'
  else
    grep -vi "^\[software\\\\\\\\classes\\\\\\\\wow6432node" <<<"$tree"
  fi | sed -E "s/$folder/<folder>/g"
}

# The type library key is one for both views; with two libraries the one registered last
# names its folder in HELPDIR, so HELPDIR and the paths are compared on their own. With one
# library nothing is left out ("^$" matches no line of a tree).
typelib_shared='^$'
((${#libraries[@]} == 1)) ||
  typelib_shared='typelib\\\\\{[^}]*\}\\\\1\.0\\\\(helpdir|0\\\\win(32|64))\]'

check_installed() {
  local tree=$1 entry folder file
  for entry in "${libraries[@]}"; do
    folder=$(unix_path "${entry%%|*}")
    for file in ZELUSB.dll CypressFirmwareOrvane.ihx CypressFirmwareKestrin.ihx \
                CypressFirmwarePolyax.ihx; do
      [[ -f $folder/$file ]] || fail "$folder/$file missing"
    done
  done
  folder=$(unix_path "${libraries[0]%%|*}")
  [[ -f $folder/README.txt && -f $folder/zelusb-winusb.inf ]] || fail "README.txt or the INF missing"
  # The library's own view equals regsvr32's, entry for entry.
  local own expected
  own=$(view "$tree" "${libraries[0]}" | grep -vE "$typelib_shared")
  expected=$(view "$reference_tree" "${libraries[0]}" | grep -vE "$typelib_shared")
  diff <(echo "$expected") <(echo "$own") >&2 || fail "the installed entries differ from regsvr32's (< regsvr32, > package)"
  grep -qiF "\\\\0\\\\win$bits]|@=\"$(sed 's/\\/\\\\/g' <<<"${libraries[0]%%|*}")\\\\ZELUSB.dll\"" <<<"$tree" ||
    fail "no win$bits path of the type library"
  # The other view holds its own classes and interfaces for its library; the ProgIDs, AppID
  # entries and the type library are one key for both views (registry_views.sh).
  for entry in "${libraries[@]:1}"; do
    views_check "$tree" "${libraries[0]%%|*}" "${entry%%|*}" >&2 ||
      fail "the ${entry#*|} view differs from what 64-bit Windows keeps"
    grep -qiF "\\\\0\\\\win32]|@=\"$(sed 's/\\/\\\\/g' <<<"${entry%%|*}")\\\\ZELUSB.dll\"" <<<"$tree" ||
      fail "no win32 path of the type library"
  done
  grep -iE 'typelib.*\\\\helpdir\]\|@=' <<<"$tree" | grep -qiE 'ZELUSB(32)?"' || fail "no HELPDIR"
}

# A VBScript client in cscript of the package's bitness creates each class by ProgID.
check_client() {
  local script=$work/create.vbs out
  printf '%s\r\n' 'Dim name' \
    'For Each name In Array("ZELUSB.OrvaneControl", "ZELUSB.KestrinControl.1", "ZELUSB.PolyaxControl")' \
    '  Dim control: Set control = CreateObject(name)' \
    '  WScript.Echo name & " " & TypeName(control) & " " & control.IsDevicePresent()' \
    'Next' 'WScript.Echo "PASSED"' >"$script"
  out=$(cd "$work" && run $native cscript //nologo create.vbs 2>&1 | tr -d '\r')
  echo "$out"
  [[ $(tail -n 1 <<<"$out") == PASSED ]] || fail "the VBScript client did not create the three classes"
}

# Steps: i (install per machine), p (install for the current user alone), x (uninstall the
# package file; px for the user's install: wine's msiexec reads the user scope from ALLUSERS
# alone, also when it uninstalls, and ignores MSIINSTALLPERUSER), c (uninstall by product
# code), u (install the newer package), ux (uninstall it), rm (delete the installed folders by hand), each with msiexec's expected result; and
# the states the prefix must be in at that point: installed (the entries above, per machine;
# user-installed: in the user's classes), client (the classes usable), one-product, clean
# (equal to the fresh prefix). Uninstalling again goes by product code: wine's msiexec answers
# 0 for a package file that is not installed, and 1605 for its product code, as Windows does
# for both.
scenarios=(
  "twice          i:0 installed client i:0 installed x:0 clean c:1605 clean"
  "upgrade        i:0 u:0 installed one-product rm ux:0 clean"
  "per-user       p:0 user-installed px:0 clean"
)

# Windows gives a per-user install one program folder for both bitnesses
# (%LOCALAPPDATA%\Programs): there, too, each library must have a folder of its own.
per_user_folder() {
  msiinfo export "$package" Directory | tr -d '\r' | awk -F '\t' -v want="$1" '
    NR > 3 { parent[$1] = $2; name = $3; sub(/:.*/, "", name); sub(/^[^|]*\|/, "", name)
             dir[$1] = name }
    END {
      for (d = want; d != "" && d != "TARGETDIR"; d = parent[d])
        path = ((d ~ /^ProgramFiles(64)?Folder$/) ? "Programs" : dir[d]) (path == "" ? "" : "\\" path)
      print path
    }'
}
if ((${#libraries[@]} > 1)); then
  [[ $(per_user_folder zelusb64) != "$(per_user_folder zelusb32)" ]] ||
    fail "per user, both libraries would land in $(per_user_folder zelusb64)"
  echo "per user: $(per_user_folder zelusb64) and $(per_user_folder zelusb32)"
fi

reference_tree=""
for row in "${scenarios[@]}"; do
  read -r name steps_and_state <<<"$row"
  started=$SECONDS
  fresh "$name"
  for step in $steps_and_state; do
    case $step in
    *:*)
      action=${step%%:*} expected=${step#*:}
      case $action in
      i) got=$(msi /i "$package") ;;
      p) got=$(msi /i "$package" ALLUSERS="" MSIINSTALLPERUSER=1) ;;
      x) got=$(msi /x "$package") ;;
      px) got=$(msi /x "$package" ALLUSERS="") ;;
      c) got=$(msi /x "$product_code") ;;
      u) got=$(msi /i "$newer") ;;
      ux) got=$(msi /x "$newer") ;;
      esac
      # A Unix exit status keeps the low 8 bits of msiexec's result (1605 arrives as 69).
      [[ $got == $((expected & 255)) ]] ||
        fail "$name: msiexec ($action) gave $got, expected $expected (& 255)"
      ;;
    rm)
      for entry in "${libraries[@]}"; do rm -rf "$(unix_path "${entry%%|*}")"; done
      ;;
    installed | user-installed)
      scope=machine other=user
      [[ $step == user-installed ]] && scope=user other=machine
      [[ -n $reference_tree ]] || reference_tree=$(reference)
      tree=$(library_tree "$WINEPREFIX" "$scope")
      if [[ $scope == user && ${#libraries[@]} -gt 1 ]]; then
        # Wine keeps one view of the user's classes (Windows gives 32-bit programs a
        # Wow6432Node of their own there), so the two libraries write the same keys and the
        # last one's paths stay: only the keys can be compared.
        diff <(view "$reference_tree" "${libraries[0]}" | cut -d '|' -f 1 | sort -u |
               grep -viE "$typelib_shared") \
             <(cut -d '|' -f 1 <<<"$tree" | sort -u | grep -viE "$typelib_shared") >&2 ||
          fail "$name: the user's keys differ"
      else
        check_installed "$tree"
      fi
      [[ -z $(library_tree "$WINEPREFIX" "$other") ]] || fail "$name: entries in the $other's classes"
      ;;
    client) check_client ;;
    one-product)
      count=$(reg_lines "$WINEPREFIX/system.reg" | grep -ciE '\\\\uninstall\\\\\{[^}]*\}\]\|"DisplayName"="ZELUSB"' || true)
      [[ $count == 1 ]] || fail "$name: $count products named ZELUSB are installed"
      ;;
    clean)
      [[ -z $(library_tree "$WINEPREFIX")$(library_tree "$WINEPREFIX" user) ]] ||
        fail "$name: entries of the library are left"
      diff <(echo "$clean") <(prefix_snapshot "$WINEPREFIX") >&2 ||
        fail "$name: the prefix differs from the fresh one (< fresh, > after)"
      ;;
    esac
  done
  echo "$name: passed ($((SECONDS - started)) s)"
  rm -rf "$WINEPREFIX"
done
rm -rf "$work"
echo "installer checks PASSED"
