#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the build and tests need, when missing.
# Usage: scripts/install-deps.sh [--desktop]   (--desktop adds a CJK font)
set -euo pipefail

packages=(cmake make g++ qt6-base-dev qt6-serialport-dev)
if [[ "${1:-}" == "--desktop" ]]; then
    packages+=(fonts-wqy-zenhei)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[[ ${#missing[@]} -eq 0 ]] && exit 0

echo "Installing: ${missing[*]}"
if [[ $(id -u) -eq 0 ]]; then
    sudo=()
else
    sudo=(sudo)
fi
"${sudo[@]}" apt-get update
DEBIAN_FRONTEND=noninteractive "${sudo[@]}" apt-get install -y --no-install-recommends "${missing[@]}"
