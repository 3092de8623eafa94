#!/usr/bin/env bash
# Starts an installed copy of the program the way its desktop entry does (its command, in its working
# folder) on a virtual display of its own, waits for the start-up warning to be on screen and ends
# the program. Usage: run-installed.sh ROOT DESKTOP_ENTRY SCRATCH
#   ROOT           the folder the installed tree lies under ("" for /), prefixed to the entry's paths
#   DESKTOP_ENTRY  the installed zrk201.desktop
#   SCRATCH        a folder for the run's home, temporary and configuration folders
set -euo pipefail
root="$1" entry="$2" scratch="$3"

key() { sed -n "s/^$1=//p" "$entry" | head -n 1; }
exec_line="$(key Exec)" path="$(key Path)"
# The command is the entry's Exec= with the desktop's quoting taken off.
command="${exec_line#\"}"
command="${command%\"}"
[ -x "$root$command" ] || { echo "the entry's command $root$command is not an executable"; exit 1; }
[ -d "$root$path" ] || { echo "the entry's working folder $root$path does not exist"; exit 1; }
[ -f "$root$path/zrk.hlp" ] && [ -f "$root$path/p_bar.avi" ] ||
    { echo "help or animation missing in the working folder $root$path"; exit 1; }

missing="$(ldd "$root$command" | grep 'not found' || true)"
[ -z "$missing" ] || { echo "libraries not found: $missing"; exit 1; }

mkdir -p "$scratch/home" "$scratch/tmp" "$scratch/config"
xvfb_pid="" program_pid=""
finish() {
    local status=$?
    if [ -n "$program_pid" ]; then kill "$program_pid" 2>/dev/null || true; wait "$program_pid" 2>/dev/null || true; fi
    if [ -n "$xvfb_pid" ]; then kill "$xvfb_pid" 2>/dev/null || true; wait "$xvfb_pid" 2>/dev/null || true; fi
    exit "$status"
}
trap finish EXIT

# A display of its own: Xvfb picks a free number and says which. Without -noreset the server resets
# whenever its last client leaves, and drops a client that connects meanwhile: the program, started
# while a look at the screen below disconnects, then could not open the display.
rm -f "$scratch/display"
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset 3>"$scratch/display" 2>"$scratch/xvfb.log" &
xvfb_pid=$!
for _ in $(seq 1 100); do [ -s "$scratch/display" ] && break; sleep 0.1; done
[ -s "$scratch/display" ] || { echo "Xvfb did not start"; cat "$scratch/xvfb.log"; exit 1; }
export DISPLAY=":$(tr -d '[:space:]' <"$scratch/display")"

(
    cd "$root$path"
    unset SANE_CONFIG_DIR QT_QPA_PLATFORM
    exec env HOME="$scratch/home" TMPDIR="$scratch/tmp" XDG_CONFIG_HOME="$scratch/config" \
        XDG_RUNTIME_DIR="$scratch/tmp" "$root$command" >"$scratch/program.log" 2>&1
) &
program_pid=$!

for _ in $(seq 1 200); do
    if ! kill -0 "$program_pid" 2>/dev/null; then
        echo "the program ended before showing its warning:"
        cat "$scratch/program.log"
        kill -0 "$xvfb_pid" 2>/dev/null || echo "(the virtual display had ended too)"
        echo "the virtual display said:"
        cat "$scratch/xvfb.log"
        exit 1
    fi
    info="$(xwininfo -name Warning 2>/dev/null || true)"
    if grep -q 'Map State: IsViewable' <<<"$info"; then
        value() { sed -n "s/^ *$1: *//p" <<<"$info" | head -n 1; }
        x="$(value 'Absolute upper-left X')" y="$(value 'Absolute upper-left Y')"
        w="$(value Width)" h="$(value Height)"
        if ((w > 100 && h > 50 && x >= 0 && y >= 0 && x + w <= 1280 && y + h <= 1024)); then
            echo "the warning is on screen: ${w}x${h} at $x,$y"
            exit 0
        fi
        echo "the warning is not on the screen:"
        echo "$info"
        exit 1
    fi
    sleep 0.1
done
echo "no warning window within 20 s; the program said:"
cat "$scratch/program.log"
exit 1
