#!/usr/bin/env bash
# The Debian package made by CPack: its dependencies, its files, and its program unpacked (dpkg-deb -x)
# and started from its desktop entry's command and working folder as far as the start-up warning.
# Usage: check-deb.sh BUILD_DIR SCRATCH CPACK
set -euo pipefail
build="$1" scratch="$2" cpack="$3"
here="$(cd "$(dirname "$0")" && pwd)"
rm -rf "$scratch"
mkdir -p "$scratch"
fail() { echo "$*"; exit 1; }

(cd "$build" && "$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch") >"$scratch/cpack.log" 2>&1 ||
    { cat "$scratch/cpack.log"; fail "cpack failed"; }
deb="$(ls "$scratch"/zrk201_*.deb 2>/dev/null | head -n 1)"
[ -n "$deb" ] || { cat "$scratch/cpack.log"; fail "no zrk201_*.deb made"; }
echo "package: $(basename "$deb")"

depends="$(dpkg-deb -f "$deb" Depends)"
echo "Depends: $depends"
for needed in libsane1 sane-airscan qt6-translations-l10n libqt6gui6 libqt6widgets6 libqt6printsupport6 \
    libjpeg62-turbo libstdc++6; do
    tr ',' '\n' <<<"$depends" | sed 's/^ *//; s/ .*//' | grep -qxF "$needed" ||
        fail "the package does not depend on $needed"
done
[ "$(dpkg-deb -f "$deb" Package)" = zrk201 ] || fail "package name"

root="$scratch/root"
dpkg-deb -x "$deb" "$root"
entry="$root/usr/share/applications/zrk201.desktop"
[ -f "$entry" ] || fail "no desktop entry in the package"
grep -qx 'Exec=/usr/bin/zrk201' "$entry" || fail "Exec= of the packaged entry: $(grep Exec= "$entry")"
grep -qx 'Path=/usr/share/zrk201' "$entry" || fail "Path= of the packaged entry: $(grep Path= "$entry")"
desktop-file-validate "$entry"
appstreamcli validate --no-net "$root/usr/share/metainfo/org.example.zorkopis.zrk201.metainfo.xml"
[ -f "$root/usr/share/icons/hicolor/48x48/apps/zrk201.png" ] || fail "no icon in the package"

bash "$here/run-installed.sh" "$root" "$entry" "$scratch/run"
