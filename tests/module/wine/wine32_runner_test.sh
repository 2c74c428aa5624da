#!/usr/bin/env bash
# How the scripts run 32-bit wine (scripts/lib/wine32.sh): which wine they choose, and that the
# i386 root's mounts never reach the machine, not even when a run is killed midway.
set -uo pipefail
source "$(dirname "$0")/../../../scripts/lib/wine32.sh"

failures=0 checks=0
check() {
  local what=$1 got=$2 want=$3
  checks=$((checks + 1))
  if [[ $got != "$want" ]]; then
    echo "FAILED: $what: got '$got', expected '$want'"
    failures=$((failures + 1))
  fi
}

real_kind=$(wine32_kind) real_loader=$wine32_loader real_root=$wine32_root
real_choice=${ZEL_WINE32:-}
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

# The choice, on a made-up machine: ZEL_WINE32 ("-" unset), host loader?, root's loader?,
# root's stamp?, the wine chosen ("error": refused, nothing printed) and whether setup makes
# the root.
while read -r choice host root_loader stamp want make_root; do
  rm -rf "$work/fake"
  wine32_loader=$work/fake/loader wine32_root=$work/fake/root
  mkdir -p "$(dirname "$wine32_root$wine32_loader")"
  [[ $host == yes ]] && install -m 755 /dev/null "$wine32_loader"
  [[ $root_loader == yes ]] && install -m 755 /dev/null "$wine32_root$wine32_loader"
  [[ $stamp == yes ]] && touch "$wine32_root/$wine32_root_stamp"
  ZEL_WINE32=${choice#-}
  row="ZEL_WINE32 $choice, host $host, root loader $root_loader, stamp $stamp"
  got=$(wine32_kind 2>/dev/null) || got=error
  check "$row: kind" "${got:-<nothing>}" "$want"
  wine32_root_wanted && got=yes || got=no
  check "$row: setup makes the root" "$got" "$make_root"
done <<'ROWS'
-     yes yes yes host  no
-     yes no  no  host  no
-     no  yes yes root  yes
-     no  yes no  none  yes
-     no  no  yes none  yes
-     no  no  no  none  yes
root  yes yes yes root  yes
root  yes yes no  none  yes
root  yes no  no  none  yes
root  no  yes yes root  yes
host  yes yes yes host  no
host  no  yes yes none  no
host  no  no  no  none  no
bogus yes yes yes error no
ROWS
ZEL_WINE32=$real_choice

# A value nobody knows stops whoever sources the file, naming the value; a known one does not.
while read -r choice want; do
  got=$(ZEL_WINE32=$choice bash -c 'source "$1" 2>&1 && echo sourced' sh \
    "$wine32_checkout/scripts/lib/wine32.sh"; echo "status $?")
  check "sourced with ZEL_WINE32 '$choice'" "$(paste -sd ' ' <<<"$got")" "$want"
done <<'ROWS'
root sourced status 0
host sourced status 0
Root ZEL_WINE32 is 'Root': expected host, root or unset status 2
auto ZEL_WINE32 is 'auto': expected host, root or unset status 2
ROWS

# With the host's wine32 a command runs as it is, in the machine's own mount namespace.
wine32_root=$work/fake/root
install -m 755 /dev/null "$wine32_loader"
check "host wine: mount namespace" "$(ZEL_WINE32='' wine32_run readlink /proc/self/ns/mnt)" \
  "$(readlink /proc/self/ns/mnt)"

wine32_loader=$real_loader wine32_root=$real_root
if [[ $real_kind != root ]]; then
  echo "the machine has $(wine32_description): no i386 root to check; $checks checks run"
  ((failures == 0)) && echo "runner checks PASSED" && exit 0
  exit 1
fi

# In the root: an i386 system, the same working directory, the checkout and the temporary
# folder at their own paths, and a mount namespace of its own.
cd "$wine32_checkout"
echo probe >"$work/probe"
check "root: architecture" "$(wine32_run dpkg --print-architecture)" i386
check "root: working directory" "$(wine32_run pwd)" "$wine32_checkout"
check "root: temporary file" "$(wine32_run cat "$work/probe")" probe
check "root: the checkout" "$(wine32_run ls "$wine32_checkout/scripts/lib/wine32.sh")" \
  "$wine32_checkout/scripts/lib/wine32.sh"
[[ $(wine32_run readlink /proc/self/ns/mnt) != "$(readlink /proc/self/ns/mnt)" ]]
check "root: a mount namespace of its own" $? 0
# A check that re-enters itself in the root sources this file again there, and must find the
# root's wine as the host's, whatever ZEL_WINE32 chose outside.
check "root: the choice seen inside" \
  "$(wine32_run bash -c 'source "$1" && wine32_kind' sh "$wine32_checkout/scripts/lib/wine32.sh")" host

mounted_here() { wine32_mounts_at "$wine32_root"; }

# A run killed midway, whole process group and without warning, leaves no mount behind.
setsid bash -c "source '$wine32_checkout/scripts/lib/wine32.sh'; wine32_run sh -c 'echo \$\$ >$work/pid; exec sleep 60'" &
runner=$!
for _ in $(seq 100); do [[ -s $work/pid ]] && break; sleep 0.1; done
inner=$(cat "$work/pid" 2>/dev/null)
check "killed run: started" "${inner:+yes}" yes
namespace=$(readlink "/proc/$inner/ns/mnt" 2>/dev/null)
check "killed run: its mounts inside" \
  "$(nsenter --mount="/proc/$inner/ns/mnt" grep -cF " $wine32_root/proc " /proc/self/mountinfo)" 1
check "killed run: its mounts outside while it runs" "$(mounted_here)" 0
kill -KILL -- "-$runner" 2>/dev/null
wait "$runner" 2>/dev/null
for _ in $(seq 50); do kill -0 "$inner" 2>/dev/null || break; sleep 0.1; done
check "killed run: ended" "$(kill -0 "$inner" 2>/dev/null && echo running || echo ended)" ended
check "killed run: its mounts outside afterwards" "$(mounted_here)" 0
# Every process of the run was in its process group; with none left, its namespace and mounts
# are gone (a namespace's number alone may already belong to another check's new namespace).
group_left() { sed 's/^.*) //' /proc/[0-9]*/stat 2>/dev/null | awk -v g="$1" '$3 == g' | wc -l; }
check "killed run: no process left" "$(group_left "$runner")" 0
[[ -n $namespace && $namespace != "$(readlink /proc/self/ns/mnt)" ]]
check "killed run: it had a namespace of its own" $? 0

echo "$checks checks, $failures failed"
((failures == 0)) && echo "runner checks PASSED"
((failures == 0))
