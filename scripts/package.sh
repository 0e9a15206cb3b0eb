#!/usr/bin/env bash
# Builds the Debian package (release build of the three programs, CPack) into
# build/package/, then checks it as Debian would: the desktop entry and the AppStream
# data validate, lintian reports no error, and the programs unpacked into a scratch root
# answer --help from there.
set -euo pipefail
cd "$(dirname "$0")/.."
jobs=$(nproc)

cmake --preset package >/dev/null
# Only what the package holds (not the screenshot tool).
cmake --build --preset package -j "$jobs" --target kestrel kestrel-sim kestrel-fbh packaging_files
(cd build/package && cpack -G DEB >/dev/null)
deb=$(ls -t build/package/kestrel-fbh_*.deb | head -n1)
echo "=== $deb"
dpkg-deb --info "$deb" | sed -n '/Package:/,$p'

echo "=== desktop entry, AppStream data"
desktop-file-validate packaging/ba.kestrel.KestrelFBH.desktop
appstreamcli validate --no-net --explain packaging/ba.kestrel.KestrelFBH.metainfo.xml >/dev/null

echo "=== lintian"
# Errors fail the build; warnings are shown. Running as root is fine for a check.
lintian --allow-root --fail-on error "$deb"

echo "=== unpacked programs"
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT
dpkg -x "$deb" "$root"
for p in kestrel kestrel-sim kestrel-fbh; do
  QT_QPA_PLATFORM=offscreen "$root/usr/bin/$p" --help >/dev/null
  echo "$p --help: ok"
done
for m in kestrel kestrel-sim kestrel-fbh; do
  test -s "$root/usr/share/man/man1/$m.1.gz"
done
echo "=== package ok: $deb"
