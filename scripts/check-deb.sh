#!/usr/bin/env bash
# Builds the .deb from a build folder with cpack and checks what it installs and what it depends on.
set -euo pipefail
build_dir="${1:?usage: check-deb.sh BUILD_DIR}"
out="$(mktemp -d)"
trap 'rm -rf "$out"' EXIT
(cd "$build_dir" && cpack -G DEB -B "$out" >"$out/cpack.log") || { cat "$out/cpack.log"; exit 1; }
deb="$(ls "$out"/emu-interface_*.deb)"
contents="$(dpkg-deb -c "$deb")"
info="$(dpkg-deb -I "$deb")"
fail=0
for path in ./usr/bin/emu-interface ./usr/bin/emu-cli ./usr/bin/emu-sim \
    ./usr/share/applications/emu-interface.desktop ./usr/share/icons/hicolor/scalable/apps/emu-interface.svg; do
  grep -q " $path\$" <<<"$contents" || { echo "missing from the package: $path"; fail=1; }
done
# Nothing of the build or the tests is shipped.
if grep -E "tst_|bench_|fuzz_|\.a$|/include/" <<<"$contents"; then echo "the package ships build files"; fail=1; fi
depends="$(grep -E '^ Depends:' <<<"$info" || true)"
for lib in libqt6core6 libqt6gui6 libqt6widgets6 libqt6printsupport6 libqcustomplot2.1-qt6 qt6-qpa-plugins libc6; do
  grep -q "$lib" <<<"$depends" || { echo "not declared as a dependency: $lib ($depends)"; fail=1; }
done
grep -q '^ Package: emu-interface$' <<<"$info" || { echo "wrong package name"; fail=1; }
grep -q '^ Architecture: amd64$\|^ Architecture: arm64$' <<<"$info" || { echo "no architecture"; fail=1; }
if [ "$fail" -ne 0 ]; then
  echo "$info"
  echo "$contents"
  exit 1
fi
echo "$(basename "$deb"): $(wc -l <<<"$contents") entries;$depends"
