# Sourced by the installer checks: the two registry views of 64-bit Windows in a tree of
# library_tree lines (registry_tree.sh). Under Software\Classes a 32-bit program gets keys of
# its own for the classes and the interfaces alone (CLSID and Interface, kept in Wow6432Node);
# the ProgIDs, the AppID entries and the type library are one key for both views.
#
# Wine's msiexec keeps them so where wine64 has a 32-bit side. Where it has none, it writes a
# 32-bit component's ProgIDs a second time under Wow6432Node, a copy no 32-bit program reads
# there; the checks accept such a copy when it repeats the shared key line for line.

views_wow='^\[software\\\\classes\\\\wow6432node\\\\'
views_redirected='^\[software\\\\classes\\\\(clsid|interface)\\\\'

# The 64-bit view: the lines outside Wow6432Node, the shared keys among them.
native_view() { grep -viE "$views_wow" <<<"$1" || true; }

# The lines under Wow6432Node, named as the 64-bit view names its keys.
wow_view() {
  grep -iE "$views_wow" <<<"$1" |
    sed 's/^\[software\\\\classes\\\\wow6432node\\\\/[software\\\\classes\\\\/I' || true
}

# The lines of a view in the keys that 32-bit programs do not share.
redirected_part() { grep -iE "$views_redirected" <<<"$1" || true; }
shared_part() { grep -viE "$views_redirected" <<<"$1" || true; }

# TEXT with each FOLDER (as Windows writes it, "C:\Program Files\ZELUSB") as the registry
# file writes it replaced by <folder>.
without_folder() {
  local text=$1 folder=$2
  folder=${folder//\\/\\\\}
  printf '%s\n' "${text//"$folder"/<folder>}"
}

# Whether TREE keeps the two views as 64-bit Windows does, for the 64-bit library in FOLDER64
# and the 32-bit one in FOLDER32; prints what differs and fails when not.
#   views_check TREE FOLDER64 FOLDER32 [REFERENCE]
# REFERENCE is what the two regsvr32 wrote, where the prefix can load the 32-bit library: the
# Wow6432Node lines must equal its. Without one, the 32-bit classes and interfaces must equal
# the 64-bit ones with the folders taken out, and a copy of a shared key under Wow6432Node
# must repeat the shared key.
views_check() {
  local tree=$1 folder64=$2 folder32=$3 reference=${4:-}
  local wow native
  wow=$(wow_view "$tree") native=$(native_view "$tree")
  if [[ -n $reference ]]; then
    diff <(wow_view "$reference") <(echo "$wow") ||
      { echo "the Wow6432Node lines differ from the 32-bit regsvr32's (< regsvr32, > package)"; return 1; }
    return 0
  fi
  local strays
  strays=$(LC_ALL=C comm -23 <(shared_part "$wow" | LC_ALL=C sort) \
                             <(shared_part "$native" | LC_ALL=C sort))
  if [[ -n $strays ]]; then
    printf '%s\n' "$strays"
    echo "these Wow6432Node copies of shared keys differ from the shared keys"
    return 1
  fi
  diff <(without_folder "$(redirected_part "$native")" "$folder64") \
       <(without_folder "$(redirected_part "$wow")" "$folder32") ||
    { echo "the Wow6432Node classes and interfaces differ from the 64-bit ones (< 64-bit, > Wow6432Node)"; return 1; }
}
