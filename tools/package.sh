#!/bin/bash
# The release packages: installs what is missing, builds the Linux and the
# Windows executable (release build, no tests) and leaves in build/packages/
#   vlmrefresh_<version>_amd64.deb            (cpack -G DEB; lintian checked)
#   vlmrefresh-<version>-windows-x64.zip      (cpack -G ZIP)
#   vlmrefresh-<version>-x64.msi              (tools/make-msi.sh, wixl)
# The version is the project's (CMakeLists.txt). docs/packages.md says what
# the packages hold.
set -eu
cd "$(dirname "$0")/.."
# What packaging needs beyond the builds: lintian, file and unzip.
tools/install-deps.sh lintian file unzip

out=$PWD/build/packages
rm -rf "$out"
mkdir -p "$out"
# Release builds of their own beside the presets' build directories; the
# Linux one with the hardening Debian builds get (fortified functions,
# read-only relocations resolved at start).
release="-DVLM_BUILD_TESTS=OFF -DVLM_BUILD_BENCH=OFF -DCMAKE_BUILD_TYPE=Release"
echo "=== Linux build (build/package-linux)"
# shellcheck disable=SC2086
cmake --preset linux -B build/package-linux $release \
  "-DCMAKE_CXX_FLAGS=-D_FORTIFY_SOURCE=2 -fstack-protector-strong" \
  "-DCMAKE_EXE_LINKER_FLAGS=-Wl,-z,relro -Wl,-z,now" >/dev/null
cmake --build build/package-linux -j2 --target VlmRefreshSvc vlm_changelog vlm_unit
echo "=== Windows build (build/package-windows)"
# shellcheck disable=SC2086
cmake --preset windows -B build/package-windows $release >/dev/null
cmake --build build/package-windows -j2 --target VlmRefreshSvc

version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' build/package-linux/CMakeCache.txt)
deb=$out/vlmrefresh_${version}_amd64.deb
zip=$out/vlmrefresh-${version}-windows-x64.zip
msi=$out/vlmrefresh-${version}-x64.msi
(cd build/package-linux && cpack -G DEB -B "$out/cpack-deb" >/dev/null)
(cd build/package-windows && cpack -G ZIP -B "$out/cpack-zip" >/dev/null)
mv "$out/cpack-deb/$(basename "$deb")" "$deb"
mv "$out/cpack-zip/$(basename "$zip")" "$zip"
rm -rf "$out/cpack-deb" "$out/cpack-zip"
# The MSI carries the zip's (stripped) executable.
mkdir "$out/msi-exe"
unzip -p "$zip" VlmRefreshSvc.exe >"$out/msi-exe/VlmRefreshSvc.exe"
tools/make-msi.sh "$out/msi-exe" "$version" "$msi"

status=0
fail() { echo "FAIL: $*"; status=1; }

echo "=== $deb"
dpkg-deb --info "$deb" | sed -n 's/^ \(Version\|Depends\|Installed-Size\):/  \1:/p'
dpkg-deb --contents "$deb" | awk '{print "  " $1, $6}'
contents=$(dpkg-deb --contents "$deb")
for f in ./opt/vlmrefresh/VlmRefreshSvc ./usr/lib/systemd/system/VlmRefresh.service \
         ./usr/lib/sysusers.d/vlmrefresh.conf ./usr/share/doc/vlmrefresh/copyright \
         ./usr/share/doc/vlmrefresh/changelog.gz ./usr/share/doc/vlmrefresh/packages.md; do
  grep -q " $f\$" <<<"$contents" || fail "$f is not in the package"
done
depends=$(dpkg-deb --field "$deb" Depends)
for d in libcurl4 ca-certificates; do
  grep -q "\b$d\b" <<<"$depends" || fail "Depends lacks $d"
done
# The unit's exposure as systemd-analyze rates it (the service runs as its
# own user): 1.5 at most.
unit=$(mktemp -d)
dpkg-deb --fsys-tarfile "$deb" | tar -x -C "$unit" ./usr/lib/systemd/system/VlmRefresh.service
exposure=$(systemd-analyze security --offline=true "$unit/usr/lib/systemd/system/VlmRefresh.service" 2>&1 |
  sed -n 's/.*exposure level for VlmRefresh.service: \([0-9.]*\).*/\1/p')
echo "  unit exposure: ${exposure:-not rated}"
awk -v e="$exposure" 'BEGIN { exit !(e != "" && e <= 1.5) }' || fail "the unit's exposure is ${exposure:-not rated}, over 1.5"
rm -rf "$unit"
echo "=== lintian (errors and warnings fail the run; notes are listed)"
lintian --info --display-info --show-overrides "$deb" 2>/dev/null | tee "$out/lintian.txt" | grep -v '^N:' || true
grep -q '^[EW]:' "$out/lintian.txt" && fail "lintian reports errors or warnings"

echo "=== $zip"
unzip -l "$zip"
names=$(unzip -Z1 "$zip" | sort | tr '\n' ' ')
[ "$names" = "README.txt README.zh-CN.txt VlmRefreshSvc.exe " ] || fail "the zip holds: $names"
readme=$(mktemp)
for f in README.txt README.zh-CN.txt; do
  unzip -p "$zip" "$f" >"$readme"
  [ "$(head -c 3 "$readme" | od -An -tx1 | tr -d ' ')" = "efbbbf" ] || fail "$f has no UTF-8 byte-order mark"
  [ "$(grep -c $'\r$' "$readme")" = "$(wc -l <"$readme")" ] || fail "$f has lines without CR LF"
  grep -q "sc control VlmRefresh 128" "$readme" || fail "$f does not name control 128"
  iconv -f UTF-8 -t UTF-8 "$readme" >/dev/null || fail "$f is not UTF-8"
done
rm -f "$readme"
unzip -p "$zip" VlmRefreshSvc.exe | file - | grep -q 'PE32+ executable' || fail "VlmRefreshSvc.exe is not a 64-bit Windows executable"

echo "=== $msi"
msiinfo suminfo "$msi" | grep -E '^(Subject|Template):'
msiinfo export "$msi" Property | tr -d '\r' | grep -qx "ProductVersion"$'\t'"$version" ||
  fail "the MSI's ProductVersion is not $version"
msiinfo export "$msi" CustomAction | grep -q $'VlmRefreshSvc.exe\t-i' || fail "the MSI does not run -i"
msiinfo export "$msi" ServiceControl | grep -q $'^VlmRefresh\tVlmRefresh\t35\t' ||
  fail "the MSI does not start and stop the service"
msiinfo export "$msi" Directory | grep -q $'^INSTALLDIR\tProgramFiles64Folder\tVlmRefresh' ||
  fail "the MSI does not install under Program Files\\VlmRefresh"
rm -rf "$out/msi-check"
msiextract -C "$out/msi-check" "$msi" >/dev/null
cmp -s "$out/msi-exe/VlmRefreshSvc.exe" "$out/msi-check/VlmRefresh/VlmRefreshSvc.exe" ||
  fail "the MSI does not hold the zip's VlmRefreshSvc.exe"
rm -rf "$out/msi-exe" "$out/msi-check"

[ $status -eq 0 ] && echo "=== packages in build/packages/: $(basename "$deb"), $(basename "$zip"), $(basename "$msi")"
exit $status
