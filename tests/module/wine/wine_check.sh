#!/usr/bin/env bash
# The checks of ZELUSB.dll that run under wine, one subcommand each; ctest calls them.
#
#   wine_check.sh PREFIX BITS start                       create the prefix, keep a server up
#   wine_check.sh PREFIX BITS stop                        end the prefix's server
#   wine_check.sh PREFIX BITS registration DLL            regsvr32, reg query, regsvr32 /u
#   wine_check.sh PREFIX BITS script DLL SCRIPT BENCH [LAST]
#                                   register DLL, run SCRIPT in cscript on BENCH ("-": the
#                                   default bench); it must end on the line LAST (PASSED)
#   wine_check.sh PREFIX BITS program EXE [ARGS...]       run a Windows program
#   wine_check.sh PREFIX BITS client DLL EXE              register DLL, then run EXE
#
# PREFIX is a private wine prefix per bitness (BITS 32 or 64). No display is needed.
set -euo pipefail
# A command that ends the check under set -e names itself: a check never fails without a word.
trap 'echo "FAILED: line $LINENO: $BASH_COMMAND (exit status $?)" >&2' ERR

prefix=$1 bits=$2 command=$3
shift 3
# WINE_CHECK_DLLOVERRIDES adds a check's own overrides (its stand-ins of system DLLs).
export WINEPREFIX=$prefix WINEDEBUG=-all
# No debugger either: a program that crashes must end at once and fail its check, not wait in
# winedbg for someone to look.
export WINEDLLOVERRIDES="mscoree,mshtml=;winedbg.exe=d${WINE_CHECK_DLLOVERRIDES:+;$WINE_CHECK_DLLOVERRIDES}"
source "$(dirname "$0")/../../../scripts/lib/wine32.sh"
# Exit status 77 tells ctest that a check was skipped.
skip_code=77
if [[ $bits == 32 ]]; then
  case $(wine32_kind) in
  none)
    echo "SKIPPED: $wine32_missing_reason"
    exit $skip_code
    ;;
  root)
    # The whole check runs inside the i386 root, where its wine is the host's as seen here.
    code=0
    wine32_run bash "$0" "$prefix" "$bits" "$command" "$@" || code=$?
    exit "$code"
    ;;
  esac
  export WINEARCH=win32
  native=wine  # the prefix's own programs (cscript, reg) of the DLL's bitness
else
  export WINEARCH=win64
  native=/usr/lib/wine/wine64
fi

fail() {
  echo "FAILED: $*" >&2
  exit 1
}

windows_path() { winepath -w "$1" 2>/dev/null || fail "winepath -w $1"; }

# reg query KEY /s as lines "KEY|NAME|DATA" (NAME empty for the default value), one reg
# process per subtree: each start of a wine program costs the better part of a second.
snapshot="" unread=""
query() {
  local out code=0
  out=$($native reg query "$1" /s 2>/dev/null | tr -d '\r') || code=$?
  if ((code)); then
    unread+=" $1 (reg exited $code)"
    return 0
  fi
  snapshot+=$(printf '%s\n' "$out" | awk -F '    ' '
    /^HKEY_/ { key = $0; sub(/^HKEY_CLASSES_ROOT/, "HKCR", key); next }
    /^    / && NF >= 4 { name = ($2 == "(Default)") ? "" : $2; print key "|" name "|" $4 }')
  snapshot+=$'\n'
}

# The data of a value in the snapshot, or "<missing>".
value() {
  local line
  line=$(printf '%s\n' "$snapshot" | grep -iF -m 1 -- "$1|${2:-}|" || true)
  [[ -n $line ]] && echo "${line#*|*|}" || echo "<missing>"
}

expect_value() {
  local got
  got=$(value "$1" "${2:-}")
  [[ $got == "$3" ]] && return 0
  # What the registry holds now, and which subtrees could not be read, for the record.
  echo "reg query $1, now:" >&2
  $native reg query "$1" 2>&1 | tr -d '\r' >&2 || true
  [[ -z $unread ]] || echo "not read:$unread" >&2
  fail "$1 [${2:-default}] is '$got', expected '$3'"
}

# The direct subkeys of each KEY, as full names "HKCR\KEY\SUB".
children() {
  local key
  for key in "$@"; do
    $native reg query "$key" 2>/dev/null | tr -d '\r' | grep '^HKEY_' |
      sed 's/^HKEY_CLASSES_ROOT/HKCR/' || true
  done
}

regsvr() {
  local code=0
  wine regsvr32 /s "$@" || code=$?
  echo "$code"
}

case $command in
start)
  # The server and the prefix's background programs outlive this command: they must not hold
  # its output open, or whoever reads it (ctest) waits for them.
  #
  # Plain wineboot: wine makes a missing prefix itself first, and "wineboot -i" on top of that
  # starts a second service manager, after which each service start waits 10 s in vain (every
  # program of the prefix then starts 10 to 20 s slower once its first desktop has ended).
  mkdir -p "$prefix"
  wineserver -p 60 </dev/null >/dev/null 2>&1
  wine wineboot </dev/null >/dev/null 2>&1
  ;;

stop)
  wineserver -k 2>/dev/null || true
  ;;

registration)
  dll=$(windows_path "$1")
  dir=${dll%\\*}
  kestrin='HKCR\CLSID\{72B4B28B-9DF6-4E69-9E00-F1EE51001ADD}'
  libid='{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C}'
  [[ $(regsvr "$dll") == 0 ]] || fail "regsvr32 $dll"
  for key in "$kestrin" 'HKCR\ZELUSB.KestrinControl' 'HKCR\ZELUSB.KestrinControl.1' \
             'HKCR\CLSID\{5D605A2B-ACDE-49CD-9642-7B268923ACD9}\ProgID' \
             'HKCR\ZELUSB.PolyaxControl' 'HKCR\AppID' "HKCR\\TypeLib\\$libid"; do
    query "$key"
  done
  expect_value "$kestrin" "" "ZEL Kestrin-USB Control"
  expect_value "$kestrin\\InprocServer32" "" "$dll"
  expect_value "$kestrin\\InprocServer32" ThreadingModel apartment
  expect_value 'HKCR\ZELUSB.KestrinControl\CurVer' "" ZELUSB.KestrinControl.1
  expect_value 'HKCR\ZELUSB.KestrinControl.1\CLSID' "" '{72B4B28B-9DF6-4E69-9E00-F1EE51001ADD}'
  expect_value "$kestrin\\MiscStatus\\1" "" 131473
  expect_value "$kestrin\\MiscStatus" "" 0
  expect_value "$kestrin\\ToolboxBitmap32" "" "$dll, 1"
  expect_value "$kestrin" AppID "$libid"
  expect_value 'HKCR\CLSID\{5D605A2B-ACDE-49CD-9642-7B268923ACD9}\ProgID' "" ZELUSB.OrvaneControl.1
  expect_value 'HKCR\ZELUSB.PolyaxControl\CLSID' "" '{E16C6003-9217-4626-83B0-757C9EA47E53}'
  expect_value "HKCR\\AppID\\$libid" "" ZELUSB
  expect_value 'HKCR\AppID\ZELUSB.DLL' AppID "$libid"
  expect_value "HKCR\\TypeLib\\$libid\\1.0" "" "ZELUSB 1.0 Type Library"
  expect_value "HKCR\\TypeLib\\$libid\\1.0\\0\\win$bits" "" "$dll"
  expect_value "HKCR\\TypeLib\\$libid\\1.0\\HELPDIR" "" "$dir"
  printf '%s\n' "$snapshot" | grep -qixF "$kestrin\\Control||" ||
    $native reg query "$kestrin\\Control" >/dev/null 2>&1 || fail "no Control key"
  mine=(
    'HKCR\ZELUSB.KestrinControl' 'HKCR\ZELUSB.KestrinControl.1' 'HKCR\ZELUSB.OrvaneControl'
    'HKCR\ZELUSB.OrvaneControl.1' 'HKCR\ZELUSB.PolyaxControl' 'HKCR\ZELUSB.PolyaxControl.1'
    "$kestrin" 'HKCR\CLSID\{5D605A2B-ACDE-49CD-9642-7B268923ACD9}'
    'HKCR\CLSID\{E16C6003-9217-4626-83B0-757C9EA47E53}' "HKCR\\AppID\\$libid"
    'HKCR\AppID\ZELUSB.DLL' "HKCR\\TypeLib\\$libid"
    'HKCR\Interface\{080F7E03-AC50-4949-AACA-E79F82D3099F}')
  present=$(children HKCR 'HKCR\CLSID' 'HKCR\AppID' 'HKCR\TypeLib' 'HKCR\Interface')
  for key in "${mine[@]}"; do
    grep -qixF -- "$key" <<<"$present" || fail "$key missing after registration"
  done

  # Registering again rewrites the replaced class key: what was added by hand is gone.
  added=$($native reg add "$kestrin" /v AddedByHand /d x /f 2>&1) || fail "reg add: $added"
  [[ $(regsvr "$dll") == 0 ]] || fail "second regsvr32"
  snapshot=""
  query "$kestrin"
  [[ $(value "$kestrin" AddedByHand) == "<missing>" ]] || fail "hand-added value survived"
  expect_value "$kestrin\\InprocServer32" "" "$dll"

  for round in 1 2; do
    [[ $(regsvr /u "$dll") == 0 ]] || fail "regsvr32 /u, round $round"
    present=$(children HKCR 'HKCR\CLSID' 'HKCR\AppID' 'HKCR\TypeLib' 'HKCR\Interface')
    for key in "${mine[@]}"; do
      ! grep -qixF -- "$key" <<<"$present" || fail "$key left after unregistration, round $round"
    done
    for key in 'HKCR\CLSID' 'HKCR\AppID'; do
      grep -qixF -- "$key" <<<"$present" || fail "$key removed"
    done
  done
  echo "registration checks PASSED"
  ;;

script)
  dll=$(windows_path "$1") script=$2 bench=$3 last=${4:-PASSED}
  [[ $(regsvr "$dll") == 0 ]] || fail "regsvr32 $dll"
  if [[ $bench != - ]]; then export ZELUSB_BENCH=$(windows_path "$bench"); else unset ZELUSB_BENCH; fi
  cd "$(dirname "$script")"
  # cscript exits 0 after a failing script too: the script must end on PASSED, and the script
  # host must report no error.
  out=$(mktemp) err=$(mktemp)
  trap 'rm -f "$out" "$err"' EXIT
  code=0
  WINEDEBUG=-all,fixme+wscript $native cscript //nologo "$(basename "$script")" >"$out" 2>"$err" ||
    code=$?
  tr -d '\r' <"$out" | sed -e '$a\'
  grep -v ':fixme:' "$err" >&2 || true
  [[ $code == 0 ]] || fail "cscript exit code $code"
  ! grep -q OnScriptError "$err" || fail "script error: $(grep OnScriptError "$err" | head -n 1)"
  [[ $(tr -d '\r' <"$out" | tail -n 1) == "$last" ]] || fail "the script did not end on $last"
  ;;

client)
  [[ $(regsvr "$(windows_path "$1")") == 0 ]] || fail "regsvr32 $1"
  unset ZELUSB_BENCH
  wine "$2"
  ;;

program)
  exe=$1
  shift
  [[ -n ${ZELUSB_BENCH:-} ]] && export ZELUSB_BENCH=$(windows_path "$ZELUSB_BENCH")
  wine "$exe" "$@"
  ;;

*)
  fail "unknown command $command"
  ;;
esac
