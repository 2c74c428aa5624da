#!/usr/bin/env bash
# Builds the two installer packages from the cross builds:
#   ZELUSB-VERSION-x64.msi  both libraries, each in its own folder and registry view
#   ZELUSB-VERSION-x86.msi  the 32-bit library
#
#   make_packages.sh OUT [VERSION]
#
# VERSION defaults to the version resource's. Needs build/native (the row generator),
# build/mingw-x86_64 and build/mingw-i686 built, and wixl.
set -euo pipefail

source_dir=$(cd "$(dirname "$0")/.." && pwd)
out=$1
version=${2:-$(sed -n 's/^ *FILEVERSION \([0-9]*\),\([0-9]*\),\([0-9]*\),\([0-9]*\).*/\1.\2.\3.\4/p' \
                 "$source_dir/module/ZELUSB.rc")}
rows=$source_dir/build/native/installer/zel_package_rows
lib64=$source_dir/build/mingw-x86_64/module
lib32=$source_dir/build/mingw-i686/module
for needed in "$rows" "$lib64/ZELUSB.dll" "$lib32/ZELUSB.dll"; do
  [[ -e $needed ]] || { echo "make_packages: $needed is missing: build it first" >&2; exit 1; }
done
command -v wixl >/dev/null && command -v msibuild >/dev/null ||
  { echo "make_packages: wixl or msibuild is missing (scripts/setup)" >&2; exit 1; }

mkdir -p "$out"
out=$(cd "$out" && pwd)
# wixl takes the package's files from paths relative to where it runs: a folder of links.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
ln -s "$lib64" "$work/lib64"
ln -s "$lib32" "$work/lib32"
mkdir "$work/docs"
# The README as Windows text, beside the INF.
sed 's/$/\r/' "$source_dir/README.md" >"$work/docs/README.txt"
cp "$source_dir/examples/windows/zelusb-winusb.inf" "$work/docs/"
# The registry rows of one library, naming it in its install folder: rows_for BITS FOLDER.
rows_for() {
  local property=ProgramFilesFolder
  [[ $1 == 64 ]] && property=ProgramFiles64Folder
  "$rows" "$source_dir/module/ZELUSB.idl" "$work/lib$1/generated/ZELUSB.tlb" \
    "$source_dir/module/appid.rgs" "$1" "$property" "$2" >"$work/rows$1.wxi"
}
cp "$source_dir/installer/ZELUSB.wxs" "$work/"

cd "$work"
rows_for 64 ZELUSB
for platform in x64 x86; do
  package=$out/ZELUSB-$version-$platform.msi
  # Beside the 64-bit library, the 32-bit one has a folder of its own name (ZELUSB.wxs).
  if [[ $platform == x64 ]]; then rows_for 32 ZELUSB32; else rows_for 32 ZELUSB; fi
  wixl -a "$platform" -D Platform="$platform" -D Version="$version" -o "$package" ZELUSB.wxs
  # wixl 0.101 writes HKMU as root 4, which the installer knows as -1; and its major upgrade
  # leaves out the same version, so a rebuilt package (a new product code) would install
  # beside the old one: the upgrade's upper bound is made inclusive (attribute 256).
  msibuild "$package" -q 'UPDATE `Registry` SET `Root` = -1 WHERE `Root` = 4'
  msiinfo export "$package" Upgrade |
    awk -F '\t' -v OFS='\t' 'NR > 3 && $5 == 1 { $5 = 257 } { print }' >Upgrade.idt
  msibuild "$package" -i Upgrade.idt
  echo "$package"
done
