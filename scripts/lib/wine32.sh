# Sourced by the scripts that run the library under wine: the one place that says whether
# 32-bit wine is there and how to run it.
#
# Debian's 32-bit wine loader comes with the package wine32:i386, which a half-synced package
# mirror can leave uninstallable for days. Then scripts/setup makes an i386 Debian root with
# wine in it (scripts/lib/wine32_root.sh), a cache outside the checkout, and 32-bit wine runs
# inside that root: chrooted, in a mount namespace of its own, with the paths the checks read
# and write bound at the same places. The 64-bit library runs under the host's wine64.
#
# ZEL_WINE32 overrides the choice, so that one machine can run the checks both ways: "root"
# takes the i386 root even where the host has wine32:i386 (setup then makes it), "host" the
# host's alone; unset or empty, the host's when installed, else the root. Any other value is
# refused when this file is sourced, before anything runs with a wine nobody chose.

wine32_loader=/usr/lib/wine/wine
wine32_root=/var/cache/zelusb/wine32-i386
# Written by setup as the root's last file, so a root cut short by an interruption is not
# taken for a complete one.
wine32_root_stamp=.zelusb-complete
wine32_choices="host, root or unset"
case ${ZEL_WINE32:-} in
"") wine32_missing_reason="32-bit wine is not installed (package wine32:i386) and setup could not make an i386 root with wine at $wine32_root" ;;
host) wine32_missing_reason="ZEL_WINE32=host asks for the host's 32-bit wine, and wine32:i386 is not installed" ;;
root) wine32_missing_reason="ZEL_WINE32=root asks for the i386 root, and there is no complete one at $wine32_root (scripts/setup makes it)" ;;
*)
  echo "ZEL_WINE32 is '$ZEL_WINE32': expected $wine32_choices" >&2
  exit 2
  ;;
esac
# The checkout, which the checks read (scripts, benches) and write (build trees, prefixes).
wine32_checkout=$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)

wine32_root_complete() {
  [[ -f $wine32_root/$wine32_root_stamp && -x $wine32_root$wine32_loader ]]
}

# Which 32-bit wine there is: "host" (wine32:i386 installed), else "root", else "none"; with
# ZEL_WINE32 set, the one it names or "none". An unknown value prints nothing and fails.
wine32_kind() {
  case ${ZEL_WINE32:-} in
  "")
    if [[ -x $wine32_loader ]]; then
      echo host
    elif wine32_root_complete; then
      echo root
    else
      echo none
    fi
    ;;
  host) [[ -x $wine32_loader ]] && echo host || echo none ;;
  root) wine32_root_complete && echo root || echo none ;;
  *)
    echo "ZEL_WINE32 is '$ZEL_WINE32': expected $wine32_choices" >&2
    return 2
    ;;
  esac
}

# Whether setup is to make the i386 root: asked for, or the host's wine32 missing.
wine32_root_wanted() {
  case ${ZEL_WINE32:-} in
  root) return 0 ;;
  host) return 1 ;;
  *) [[ ! -x $wine32_loader ]] ;;
  esac
}

wine32_present() { [[ $(wine32_kind) != none ]]; }

# How many mounts this process sees at DIR or under it. The root's are only ever made in
# private namespaces, so outside them the count is 0.
wine32_mounts_at() { grep -cF -e " $1/" -e " $1 " /proc/self/mountinfo || true; }

# Names the 32-bit wine that runs the checks, or says why there is none.
wine32_description() {
  case $(wine32_kind) in
  host) echo "the host's wine32:i386" ;;
  root) echo "wine32 in the i386 root $wine32_root" ;;
  *) echo "$wine32_missing_reason" ;;
  esac
}

# Inside the new mount namespace: binds each path (a path under one already bound is seen
# through it) at the same place in ROOT, enters ROOT and runs the command in DIR.
#   wine32_enter ROOT DIR PATH... -- COMMAND [ARGS...]
wine32_enter() {
  local root=$1 dir=$2 path done
  shift 2
  local wanted=()
  while [[ $1 != -- ]]; do
    path=$(realpath -e "$1" 2>/dev/null) && [[ $path != / ]] && wanted+=("$path")
    shift
  done
  shift
  # Sorted, a folder comes before the paths under it.
  local bound=()
  while read -r path; do
    for done in "${bound[@]}"; do
      [[ $path == "$done"/* ]] && continue 2
    done
    mkdir -p "$root$path"
    mount --rbind "$path" "$root$path" || return 125
    bound+=("$path")
  done < <(printf '%s\n' "${wanted[@]}" | sort -u)
  exec chroot "$root" /bin/sh -c 'cd "$1" && shift && exec "$@"' sh "$dir" "$@"
}

# Runs COMMAND with 32-bit wine first on its PATH and returns its status: as it is with the
# host's wine32, otherwise inside the root. The root's mounts live in a private mount
# namespace, so they end with its last process however the run ends, the machine never sees
# them, and any number of runs can go on at once. Bound: /proc, /dev, /sys, the temporary
# folder (with the X socket), the checkout and the current directory.
wine32_run() {
  if [[ $(wine32_kind) != root ]]; then
    "$@"
    return
  fi
  wine32_run_in_root "$@"
}

# Runs COMMAND inside the root whatever the choice (setup's test of a root it made). Inside,
# the root's wine is the host's as seen there, and a script sourcing this file again must
# take it so: ZEL_WINE32=root would look for a root within the root.
wine32_run_in_root() {
  local parents=(/proc /dev /sys /tmp "${TMPDIR:-/tmp}" "$wine32_checkout" "$PWD")
  ZEL_WINE32=host unshare --mount --propagation private -- \
    bash -c "$(declare -f wine32_enter)"'; wine32_enter "$@"' wine32_enter \
    "$wine32_root" "$PWD" "${parents[@]}" -- "$@"
}
