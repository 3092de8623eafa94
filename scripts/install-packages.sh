#!/usr/bin/env bash
# Installs the Debian packages listed in packages.txt (run as root).
set -euo pipefail
cd "$(dirname "$0")/.."
mapfile -t packages < <(grep -v -e '^#' -e '^[[:space:]]*$' packages.txt)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
done
if ((${#missing[@]})); then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi

# A Russian session for the program's users and its tests (Qt's dialogs follow the session's language).
if ! locale -a 2>/dev/null | grep -qi '^ru_RU\.utf-\?8$'; then
    sed -i 's/^# *\(ru_RU.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^ru_RU.UTF-8 UTF-8' /etc/locale.gen || echo 'ru_RU.UTF-8 UTF-8' >>/etc/locale.gen
    locale-gen >/dev/null
fi
