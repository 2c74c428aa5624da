# Sourced by the scripts that run the library under wine. Debian's 32-bit wine loader comes with
# the package wine32:i386, which a half-synced package mirror can leave uninstallable for days;
# the 64-bit library runs under wine64 without it.
wine32_loader=/usr/lib/wine/wine
wine32_missing_reason="32-bit wine is not installed (package wine32:i386)"

wine32_present() { [[ -x $wine32_loader ]]; }
