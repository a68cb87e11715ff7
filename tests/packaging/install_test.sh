#!/usr/bin/env bash
# Installs a built tree into a temporary DESTDIR and checks what a desktop
# needs; then builds the Debian package and checks its computed
# dependencies, its documents and lintian's verdict. Argument: the build folder.
set -euo pipefail
build="$(cd "$1" && pwd)"
work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT

fail() { echo "install_test: $*" >&2; exit 1; }

# Debian's copyright format and a changelog whose newest entry is this version.
check_docs() { # <folder holding usr/> <where it came from>
  local doc="$1/usr/share/doc/quillmar"
  head -1 "$doc/copyright" 2>/dev/null \
    | grep -qx 'Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/' \
    || fail "$2: no machine-readable copyright at $doc/copyright"
  local newest
  newest="$(zcat "$doc/changelog.gz" 2>/dev/null | head -1)" || true
  [[ "$newest" == "quillmar ($version) "* ]] \
    || fail "$2: the changelog's newest entry is '${newest:-missing}', not version $version"
}
check_stripped() { # <program> <where it came from>
  file -b "$1" | grep -q ', stripped' || fail "$2: the program carries debug information"
}

version="$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")"
[ -n "$version" ] || fail "no project version in $build/CMakeCache.txt"

DESTDIR="$work/root" cmake --install "$build" --prefix /usr --strip >/dev/null
root="$work/root/usr"
[ -x "$root/bin/quillmar" ] || fail "no program in bin/"
check_stripped "$root/bin/quillmar" "cmake --install --strip"
check_docs "$work/root" "cmake --install"
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
# Read from the program by the library scan, not written by hand.
for lib in libc6 libqt6widgets6 libpoconet; do
  echo "$info" | grep -E '^ Depends:' | grep -q "$lib" || fail "dependencies lack $lib"
done
dpkg-deb -c "$deb" >"$work/contents"
grep -q ' ./usr/bin/quillmar$' "$work/contents" || fail "the package has no /usr/bin/quillmar"
# The protocols and the metadata reader are modules the program loads from beside its own folder.
for module in quillmar_ftp quillmar_sftp quillmar_metadata; do
  grep -Eq " ./usr/lib/(.*/)?quillmar/lib$module.so$" "$work/contents" || fail "the package has no lib$module.so"
done
dpkg-deb -x "$deb" "$work/unpacked"
check_stripped "$work/unpacked/usr/bin/quillmar" "the package"
check_docs "$work/unpacked" "the package"
# Lintian's errors are what a Debian system refuses outright; its
# warnings are left to judgement.
lintian_out="$(lintian --tag-display-limit 0 "$deb" 2>&1)" || true
errors="$(echo "$lintian_out" | grep '^E: ' || true)"
[ -z "$errors" ] || fail "lintian reports errors:
$errors"
echo "install_test: installed files and package are fine"
