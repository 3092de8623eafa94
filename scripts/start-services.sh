#!/usr/bin/env bash
# Starts CUPS with a PDF printer queue for the printing tests, when it is not running already.
set -euo pipefail
if ! lpstat -r >/dev/null 2>&1; then
    if command -v systemctl >/dev/null 2>&1 && systemctl is-system-running >/dev/null 2>&1; then
        systemctl start cups || true
    fi
    lpstat -r >/dev/null 2>&1 || (/usr/sbin/cupsd && sleep 1) || true
fi
for _ in 1 2 3 4 5 6 7 8 9 10; do lpstat -r >/dev/null 2>&1 && break; sleep 1; done
if ! lpstat -p PDF >/dev/null 2>&1; then
    lpadmin -p PDF -E -v cups-pdf:/ -m lsb/usr/cups-pdf/CUPS-PDF_opt.ppd 2>/dev/null ||
        lpadmin -p PDF -E -v cups-pdf:/ -m everywhere 2>/dev/null || true
fi
lpadmin -d PDF 2>/dev/null || true
