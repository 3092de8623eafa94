# Sourced by the start and test scripts: the folder the program runs in, holding its busy animation
# and help file (both are looked up in the current folder).
ZRK_ROOT="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
export ZRK_RUN_DIR="${ZRK_RUN_DIR:-$ZRK_ROOT/build/run}"
mkdir -p "$ZRK_RUN_DIR"
for f in p_bar.avi zrk.hlp; do
    [ -f "$ZRK_ROOT/resources/$f" ] && cp -f "$ZRK_ROOT/resources/$f" "$ZRK_RUN_DIR/"
done
true
