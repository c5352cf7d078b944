#!/usr/bin/env bash
# The Debian package made from the built tree, unpacked into a scratch root:
# every file a user needs, dependencies computed from the binaries, and an
# installed vrk that runs and reports its version.
# Usage: package_deb_test.sh CPACK BUILD_DIR VERSION
set -uo pipefail
cpack=$1 build=$2 version=$3
command -v dpkg-deb >/dev/null && command -v dpkg-shlibdeps >/dev/null || { echo "Skipped: no dpkg tools"; exit 77; }
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

"$cpack" --config "$build/CPackConfig.cmake" -G DEB -B "$work/out" >"$work/cpack.log" 2>&1 || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/vrk-tool_"$version"_*.deb 2>/dev/null)
[ -f "$deb" ] || { cat "$work/cpack.log"; fail "no vrk-tool_${version}_*.deb made"; exit 1; }
root=$work/root/usr
dpkg-deb -x "$deb" "$work/root"
for file in bin/vrk bin/vrktool share/man/man1/vrk.1.gz share/man/man1/vrktool.1.gz share/bash-completion/completions/vrk \
  share/applications/vrktool.desktop share/icons/hicolor/{16x16,32x32}/apps/vrktool.png \
  share/icons/hicolor/scalable/apps/vrktool.svg share/doc/vrk-tool/{copyright,changelog.gz,format.md,security.md}; do
  [ -f "$root/$file" ] || fail "missing /usr/$file"
done
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || fail "package version $(dpkg-deb -f "$deb" Version)"
depends=" $(dpkg-deb -f "$deb" Depends | tr -d ,) "
for library in libc6 libstdc++6 libqt6widgets6; do [[ $depends == *" $library "* ]] || fail "Depends lacks $library: $depends"; done
zcat "$root/share/man/man1/vrk.1.gz" | grep -q "VRK Tool $version" || fail "manual page not of version $version"

[ "$("$root/bin/vrk" --version)" = "vrk $version (Korvane VRK Tool, archive format v1.01a)" ] || fail "vrk --version: $("$root/bin/vrk" --version)"
[ $failures -eq 0 ] && echo "package ok: $(basename "$deb")"
exit $((failures != 0))
