#!/usr/bin/env bash
# Starts CUPS with a PDF printer queue ("PDF", the default printer) for the printing tests, when it is
# not running already.
set -uo pipefail
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
