#!/usr/bin/env bash
# Makes, as root, the i386 Debian root in which 32-bit wine runs when the host cannot install
# wine32:i386 or ZEL_WINE32=root asks for it (scripts/lib/wine32.sh says where it lies and how
# it is entered). Called by
# scripts/setup. The root takes every package from the main suite of the host's release, from
# the Debian mirror that the host's own apt sources name, so a half-synced security or
# updates index does not stop it.
#
# The root is a cache: made once, reused while complete and working, made again when it is
# broken or was cut short. Prints one line saying which, and how long a new root took.
set -uo pipefail
source "$(dirname "$0")/wine32.sh"

packages=wine,wine32,xvfb,xauth
log=$wine32_root.log
partial=$wine32_root.partial

say() { echo "setup: $*"; }

# The first Debian mirror of the host's apt sources: deb822 stanzas (sources.list.d/*.sources)
# and one-line entries (sources.list), whichever serve the release's main suite with main.
host_mirror() {
  local release=$1
  cat /etc/apt/sources.list.d/*.sources 2>/dev/null | awk -v release="$release" '
    function flush() {
      if (types ~ /(^| )deb( |$)/ && (" " suites " ") ~ (" " release " ") &&
          (" " comps " ") ~ / main / && uri != "" && !found) { print uri; found = 1 }
      types = suites = comps = uri = ""
    }
    /^[ \t]*$/ { flush(); next }
    /^[ \t]*#/ { next }
    tolower($1) == "types:" { $1 = ""; types = $0 }
    tolower($1) == "uris:" { uri = $2 }
    tolower($1) == "suites:" { $1 = ""; suites = $0 }
    tolower($1) == "components:" { $1 = ""; comps = $0 }
    END { flush() }'
  cat /etc/apt/sources.list 2>/dev/null | awk -v release="$release" '
    $1 == "deb" {
      i = 2
      if ($i ~ /^\[/) { while ($i !~ /\]$/) i++; i++ }
      uri = $i; suite = $(i + 1)
      for (c = i + 2; c <= NF; c++) if ($c == "main" && suite == release) { print uri; exit }
    }'
}

# The root answers when its wine starts.
root_works() {
  wine32_root_complete && wine32_run_in_root wine --version >/dev/null 2>&1
}

# A root mounted on the machine itself (by hand, say) must not be deleted through.

mkdir -p "$(dirname "$wine32_root")"
exec 9>"$wine32_root.lock"
flock 9

if root_works; then
  say "32-bit wine: reusing the i386 root $wine32_root ($(wine32_run_in_root wine --version 2>/dev/null))"
  exit 0
fi

for dir in "$wine32_root" "$partial"; do
  if (($(wine32_mounts_at "$dir") > 0)); then
    say "32-bit wine: $dir has mounts on this machine; unmount them to let setup make the root again"
    exit 1
  fi
done
[[ -d $wine32_root ]] && say "32-bit wine: the i386 root $wine32_root is broken or incomplete; making it again"
rm -rf --one-file-system "$wine32_root" "$partial"

release=$(. /etc/os-release && echo "${VERSION_CODENAME:-}")
mirror=$(host_mirror "$release" | head -n 1)
if [[ -z $release || -z $mirror ]]; then
  say "32-bit wine: no Debian mirror for '${release:-?}' main in the apt sources, so no i386 root"
  exit 1
fi

say "32-bit wine: making the i386 root $wine32_root from $mirror ($release main), once; log in $log"
start=$SECONDS
if ! debootstrap --arch=i386 --variant=minbase --include=$packages "$release" "$partial" \
     "$mirror" >"$log" 2>&1; then
  say "32-bit wine: debootstrap failed: $(grep -E '^(E|W):' "$log" | tail -n 2 | paste -sd ' ' -)"
  rm -rf --one-file-system "$partial"
  exit 1
fi
# The downloaded packages are not needed again.
rm -f "$partial"/var/cache/apt/archives/*.deb
mv "$partial" "$wine32_root"
date -u +%FT%TZ >"$wine32_root/$wine32_root_stamp"
if ! root_works; then
  # Unstamped, the root counts as missing, so the 32-bit checks are skipped with the reason
  # instead of failing on a root that cannot be entered (no mount namespaces here, say).
  rm -f "$wine32_root/$wine32_root_stamp"
  say "32-bit wine: the new i386 root does not start wine (entered with unshare and chroot); see $log"
  exit 1
fi
say "32-bit wine: made the i386 root in $((SECONDS - start)) s ($(du -sh "$wine32_root" | cut -f1)); later runs reuse it"
