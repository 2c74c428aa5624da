# Sourced by the installer checks: the library's registry entries and a whole prefix, read
# from the prefix's registry files (wine writes them when its server ends), so one snapshot
# costs no wine process.

# The library's own keys under Software\Classes, in either view: ProgIDs, classes, AppID
# entries, type library and interfaces.
zel_keys='(Wow6432Node\\\\)?(ZELUSB\.[A-Za-z]+Control(\.1)?|CLSID\\\\\{(72B4B28B-9DF6-4E69-9E00-F1EE51001ADD|5D605A2B-ACDE-49CD-9642-7B268923ACD9|E16C6003-9217-4626-83B0-757C9EA47E53)\}|AppID\\\\(ZELUSB\.DLL|\{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C\})|Typelib\\\\\{871D8DC2-84A4-4D1F-99D5-2A4E3BE2E87C\}|Interface\\\\\{(EF9547D2-97F6-412F-A886-BABD7005A4D8|080F7E03-AC50-4949-AACA-E79F82D3099F|A7B202AB-A508-4235-9C97-C25799782590)\})'

# Every key of a registry file as lines "KEY|" and every value as "KEY|VALUE-LINE", without
# the times wine records, sorted; keys compare without regard to case.
reg_lines() {
  awk '
    /^\[/ { key = $0; sub(/\] [0-9]+$/, "]", key); key = tolower(key); print key "|"; next }
    /^#/ || /^$/ || /^WINE REGISTRY/ || /^;;/ { next }
    key != "" { print key "|" $0 }' "$1" | LC_ALL=C sort
}

# The library's entries in the machine's classes (or, with "user", the user's), both views.
library_tree() {
  local prefix=$1 file=system.reg lines
  [[ ${2:-machine} == user ]] && file=user.reg
  lines=$(reg_lines "$prefix/$file")
  grep -iE "^\[software\\\\\\\\classes\\\\\\\\$zel_keys[]\\\\]" <<<"$lines" || true
}

# What wine itself rewrites at each start (the display and network devices it finds) and the
# installer's own bookkeeping containers, which it leaves empty after an uninstall.
wine_own='^(system|user) \[(system\\\\currentcontrolset\\\\control\\\\class\\\\|software\\\\microsoft\\\\windows nt\\\\currentversion\\\\networkcards)'

# The whole prefix: every value of both registry files (keys only where they hold values:
# the installer removes a parent that its keys leave empty, such as Wow6432Node\CLSID of a
# fresh prefix, and leaves its bookkeeping keys empty) and the program folders, with sizes.
prefix_snapshot() {
  local prefix=$1
  { reg_lines "$prefix/system.reg" | sed 's/^/system /'
    reg_lines "$prefix/user.reg" | sed 's/^/user /'; } | grep -v '|$' | grep -viE "$wine_own"
  (cd "$prefix/drive_c" && find "Program Files"* -printf '%p %s\n' | LC_ALL=C sort)
}
