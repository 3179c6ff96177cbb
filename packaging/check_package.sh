#!/bin/sh
# Builds the Debian package from a build tree, unpacks it into a scratch root
# (dpkg -x) and checks that every file lies where a Linux desktop looks for it,
# that the package depends on the libraries the program links, and that the
# desktop entry and the metainfo validate as installed.
# Usage: check_package.sh BUILD-DIR
set -eu
build=$1
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
fail() { echo "FAIL: $*" >&2; exit 1; }

if ! cpack --config "$build/CPackConfig.cmake" -G DEB -B "$scratch/out" >"$scratch/cpack.log" 2>&1; then
    cat "$scratch/cpack.log" >&2
    fail "cpack -G DEB"
fi
deb=$(ls "$scratch"/out/taviro_*.deb) || fail "no taviro_*.deb made"
root=$scratch/root
dpkg-deb -x "$deb" "$root"

for f in usr/bin/taviro \
         usr/share/taviro/taviro.pdf \
         usr/share/applications/com.plomix.Taviro.desktop \
         usr/share/icons/hicolor/scalable/apps/com.plomix.Taviro.svg \
         usr/share/metainfo/com.plomix.Taviro.metainfo.xml \
         usr/share/doc/taviro/copyright; do
    [ -f "$root/$f" ] || fail "missing /$f"
done
[ -x "$root/usr/bin/taviro" ] || fail "/usr/bin/taviro is not executable"
# F1 finds the manual from the program's folder: ../share/taviro/taviro.pdf.
[ -f "$root/usr/bin/../share/taviro/taviro.pdf" ] || fail "manual not beside bin/"
pdfinfo "$root/usr/share/taviro/taviro.pdf" >/dev/null || fail "the packaged manual does not open"

[ "$(dpkg-deb -f "$deb" Package)" = taviro ] || fail "package name"
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libqt6widgets6 libqt6gui6 libqt6core6 libc6; do
    echo "$depends" | grep -q "$lib" || fail "Depends lacks $lib: $depends"
done

desktop=$root/usr/share/applications/com.plomix.Taviro.desktop
desktop-file-validate "$desktop" || fail "desktop-file-validate"
appstreamcli validate --no-net "$root/usr/share/metainfo/com.plomix.Taviro.metainfo.xml" \
    || fail "appstreamcli validate"
grep -qx 'Exec=taviro %f' "$desktop" || fail "Exec line"
grep -qx 'Icon=com.plomix.Taviro' "$desktop" || fail "Icon line"
mime=$(sed -n 's/^MimeType=//p' "$desktop")
for type in text/html application/x-php application/x-asp text/plain; do
    echo ";$mime" | grep -q ";$type;" || fail "MimeType lacks $type"
done
/usr/bin/python3 -c 'import sys, xml.dom.minidom; xml.dom.minidom.parse(sys.argv[1])' \
    "$root/usr/share/icons/hicolor/scalable/apps/com.plomix.Taviro.svg" || fail "icon is no SVG"
echo "package layout ok: $(basename "$deb")"
