#!/usr/bin/env bash
# Installs a built tree into a temporary DESTDIR and checks what a desktop
# needs; then builds the Debian package and checks its computed
# dependencies. Argument: the build folder.
set -euo pipefail
build="$(cd "$1" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() { echo "install_test: $*" >&2; exit 1; }

DESTDIR="$work/root" cmake --install "$build" --prefix /usr >/dev/null
root="$work/root/usr"
[ -x "$root/bin/quillmar" ] || fail "no program in bin/"
desktop="$root/share/applications/org.quillmar.Quillmar.desktop"
desktop-file-validate "$desktop" || fail "desktop entry does not validate"
grep -qx 'Categories=Network;FileTransfer;' "$desktop" || fail "desktop entry categories"
icon="$root/share/icons/hicolor/scalable/apps/quillmar.svg"
file -b "$icon" | grep -qi 'svg' || fail "no SVG icon at $icon"
appstreamcli validate --no-net "$root/share/metainfo/org.quillmar.Quillmar.metainfo.xml" \
  || fail "AppStream metainfo does not validate"

cpack --config "$build/CPackConfig.cmake" -G DEB -B "$work/package" >/dev/null \
  || fail "cpack could not build the package"
deb="$(ls "$work"/package/*.deb)"
info="$(dpkg-deb -I "$deb")"
echo "$info" | grep -E '^ Depends:' || fail "the package has no dependencies"
# Read from the program by the library scan, not written by hand.
for lib in libc6 libqt6widgets6 libpoconet; do
  echo "$info" | grep -E '^ Depends:' | grep -q "$lib" || fail "dependencies lack $lib"
done
dpkg-deb -c "$deb" >"$work/contents"
grep -q ' ./usr/bin/quillmar$' "$work/contents" || fail "the package has no /usr/bin/quillmar"
echo "install_test: installed files and package are fine"
