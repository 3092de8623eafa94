#!/usr/bin/env bash
# Installs what the program needs, builds it and starts it from the folder that holds its animation
# and help files. Without a display, a virtual one is started first.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
bash "$root/scripts/install-packages.sh"
bash "$root/scripts/build.sh" -DZRK_BUILD_TESTS=OFF -DZRK_BUILD_BENCH=OFF

if [ -z "${DISPLAY:-}" ]; then
    export DISPLAY=:77
    Xvfb "$DISPLAY" -screen 0 1024x768x24 -noreset >/dev/null 2>&1 &
    sleep 1
    echo "No display was set: the program runs on the virtual display $DISPLAY."
fi
source "$root/scripts/runtime-env.sh"
source "$root/scripts/sane-env.sh"
cd "$ZRK_RUN_DIR"
exec "$root/build/app/zrk201"
