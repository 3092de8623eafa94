#!/usr/bin/env bash
# Starts CUPS with a PDF printer queue ("PDF", the default printer) for the printing tests, and SANE's
# scanner server for the network scanner test, when they are not running already.
set -uo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"

# SANE's scanner server, serving the virtual test scanners on the loopback address only, for the test
# that meets the same devices through SANE's net backend. It runs as a plain process of its own;
# "start-services.sh stop" ends it.
saned_pid=/tmp/zrk-saned.pid
saned_running() { [ -f "$saned_pid" ] && kill -0 "$(cat "$saned_pid")" 2>/dev/null; }
if [ "${1:-}" = stop ]; then
    if saned_running; then
        kill "$(cat "$saned_pid")" 2>/dev/null
        for _ in $(seq 1 20); do saned_running || break; sleep 0.25; done
    fi
    rm -f "$saned_pid"
    exit 0
fi
if ! saned_running && command -v saned >/dev/null; then
    SANE_CONFIG_DIR="$root/resources/saned:$root/resources/sane" \
        saned -l -b 127.0.0.1 </dev/null >/tmp/zrk-saned.log 2>&1 &
    echo $! >"$saned_pid"
    disown
    for _ in $(seq 1 20); do
        (exec 3<>/dev/tcp/127.0.0.1/6566) 2>/dev/null && break
        sleep 0.25
    done
    saned_running || echo "saned did not start; the scanner server test will be skipped." >&2
fi

running() { lpstat -r 2>/dev/null | grep -q 'scheduler is running'; }
if ! running; then
    /usr/sbin/cupsd 2>/dev/null || true
    for _ in $(seq 1 20); do running && break; sleep 0.5; done
fi
running || { echo "CUPS did not start; printing tests will find no printer." >&2; exit 0; }
if ! lpstat -p PDF >/dev/null 2>&1; then
    ppd=$(ls /usr/share/ppd/cups-pdf/CUPS-PDF_opt.ppd /usr/share/ppd/cups-pdf/*.ppd 2>/dev/null | head -n 1)
    if [ -n "$ppd" ]; then
        lpadmin -p PDF -E -v cups-pdf:/ -P "$ppd"
    else
        lpadmin -p PDF -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd
    fi
fi
lpadmin -d PDF
cupsenable PDF 2>/dev/null || true
cupsaccept PDF 2>/dev/null || true
