#!/usr/bin/env bash
# `cmake --install` under a prefix of its own, staged through DESTDIR: every part in its place, run
# paths relative to the binaries, no path of the build or the sources in them, a desktop entry for that
# prefix, and the staged program starts from its entry's command and working folder.
# Usage: check-install.sh BUILD_DIR SCRATCH SOURCE_DIR CMAKE
set -euo pipefail
build="$1" scratch="$2" source="$3" cmake="$4"
here="$(cd "$(dirname "$0")" && pwd)"
prefix="/opt/zrk 201" # a space on purpose: the entry must quote its command
stage="$scratch/stage"
rm -rf "$scratch"
mkdir -p "$scratch"
DESTDIR="$stage" "$cmake" --install "$build" --prefix "$prefix" >"$scratch/install.log"
p="$stage$prefix"

fail() { echo "$*"; exit 1; }
for f in bin/zrk201 lib/zrk201/libzrk_platform.so lib/zrk201/TWAIN_32.DLL share/zrk201/zrk.hlp \
    share/zrk201/p_bar.avi share/zrk201/sane/dll.conf share/zrk201/sane/test.conf \
    share/applications/zrk201.desktop share/metainfo/org.example.zorkopis.zrk201.metainfo.xml \
    share/icons/hicolor/scalable/apps/zrk201.svg share/icons/hicolor/48x48/apps/zrk201.png \
    share/icons/hicolor/256x256/apps/zrk201.png; do
    [ -f "$p/$f" ] || fail "not installed: $f"
done
grep -qx airscan "$p/share/zrk201/sane/dll.conf" || fail "the SANE configuration does not load airscan"

runpath() { readelf -d "$1" | sed -n 's/.*(RUNPATH).*\[\(.*\)\]/\1/p'; }
[ "$(runpath "$p/bin/zrk201")" = '$ORIGIN/../lib/zrk201' ] || fail "zrk201 run path: $(runpath "$p/bin/zrk201")"
[ "$(runpath "$p/lib/zrk201/TWAIN_32.DLL")" = '$ORIGIN' ] || fail "TWAIN_32.DLL run path: $(runpath "$p/lib/zrk201/TWAIN_32.DLL")"

# Nothing outside the debugging information names the build, the sources or a fixed prefix.
for f in bin/zrk201 lib/zrk201/libzrk_platform.so lib/zrk201/TWAIN_32.DLL; do
    objcopy --strip-debug "$p/$f" "$scratch/stripped"
    for path in "$build" "$source" "$prefix" /usr/local; do
        if strings "$scratch/stripped" | grep -qF "$path"; then
            fail "$f names $path: $(strings "$scratch/stripped" | grep -F "$path" | head -n 3)"
        fi
    done
done

entry="$p/share/applications/zrk201.desktop"
grep -qx "Exec=\"$prefix/bin/zrk201\"" "$entry" || fail "Exec= of the entry: $(grep Exec= "$entry")"
grep -qx "Path=$prefix/share/zrk201" "$entry" || fail "Path= of the entry: $(grep Path= "$entry")"

# Installed straight into a prefix (no DESTDIR), the entry names that prefix.
"$cmake" --install "$build" --prefix "$scratch/direct" >"$scratch/install-direct.log"
grep -qx "Exec=$scratch/direct/bin/zrk201" "$scratch/direct/share/applications/zrk201.desktop" ||
    fail "Exec= of a direct install: $(grep Exec= "$scratch/direct/share/applications/zrk201.desktop")"

bash "$here/run-installed.sh" "$stage" "$entry" "$scratch/run"
