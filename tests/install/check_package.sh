#!/usr/bin/env bash
# Builds the Debian package from the build folder given as $1, unpacks it
# into a temporary root, and checks that everything the desktop entry, the
# panel and the README look for is where they look.
set -euo pipefail
build=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT

fail() { echo "FAIL: $*"; exit 1; }

(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; fail "cpack"; }
deb=$(ls "$work"/out/*.deb)
dpkg-deb -x "$deb" "$work/root"
root=$work/root
desktop=$root/usr/share/applications/tq7310-panel.desktop

[ -f "$desktop" ] || fail "no desktop entry"
if command -v desktop-file-validate >/dev/null; then
    desktop-file-validate "$desktop" || fail "desktop entry does not validate"
fi
exec_name=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$desktop")
icon_name=$(sed -n 's/^Icon=//p' "$desktop")
[ -x "$root/usr/bin/$exec_name" ] || fail "Exec=$exec_name is not in /usr/bin"
for size in 16 24 32 48 64 128 256; do
    [ -f "$root/usr/share/icons/hicolor/${size}x${size}/apps/$icon_name.png" ] ||
        fail "Icon=$icon_name has no ${size}x${size} file"
done
grep -q "<svg" "$root/usr/share/icons/hicolor/scalable/apps/$icon_name.svg" ||
    fail "Icon=$icon_name has no scalable file"
doc=$root/usr/share/doc/tq7310-panel
grep -q "^Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/" "$doc/copyright" ||
    fail "no DEP-5 copyright file"
gzip -dc "$doc/changelog.gz" | head -n 1 | grep -q "^tq7310-panel ($(dpkg-deb -f "$deb" Version))" ||
    fail "changelog.gz does not start with this version"
# The README's links and pictures lead to files installed beside it.
links=$(grep -o '](\([^)#:]*\))' "$doc/README.md" | sed 's/^](\(.*\))$/\1/' | sort -u)
[ -n "$links" ] || fail "README.md links to no file"
for target in $links; do
    [ -f "$doc/$target" ] || fail "README.md links to $target, which is not installed"
done
[ -x "$root/usr/bin/tq7310-sim" ] || fail "no simulator"
[ -x "$root/usr/bin/tq7310-check" ] || fail "no tq7310-check"
for page in tq7310-panel tq7310-sim tq7310-check; do
    gzip -dc "$root/usr/share/man/man1/$page.1.gz" | grep -q "^\.TH" || fail "no manual page for $page"
done

# The panel binds its driver library from its private folder, by a path
# relative to its own executable.
library=$root/usr/bin/../lib/tq7310-panel/libModbusRTU.so
[ -f "$library" ] || fail "no driver library at $library"
for symbol in OpenPort_Modbus ClosePort_Modbus Get_1X_B16 Get_0X_B16 Get_3X_UnDX \
              Get_3X_LUNDX Get_4X_UnDX Set_0X_Bit1 Rst_0X_Bit1 Set_4X_D1 TQ7310_GetLinkStatus; do
    nm -D --defined-only "$library" | grep -qw "$symbol" || fail "library lacks $symbol"
done
for binary in "$root/usr/bin/tq7310-panel" "$root/usr/bin/tq7310-sim" \
              "$root/usr/bin/tq7310-check" "$library"; do
    [ -z "$(readelf -S "$binary" | grep -E '\.(symtab|debug_info)')" ] || fail "$binary is not stripped"
done
dpkg-deb -f "$deb" Depends | grep -q libmodbus || fail "package does not depend on libmodbus"
dpkg-deb -f "$deb" Depends | grep -q libqt6charts6 || fail "package does not depend on Qt Charts"
for needed in fonts-arphic-uming fonts-liberation2 libxcursor1 qt6-translations-l10n; do
    dpkg-deb -f "$deb" Depends | grep -qw "$needed" || fail "package does not depend on $needed"
done
echo "package $(basename "$deb") installs as its desktop entry expects"
