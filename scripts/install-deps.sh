#!/usr/bin/env bash
# Installs the Debian/Ubuntu packages the build and tests need, when missing.
# Usage: scripts/install-deps.sh [--desktop] [--fuzz] [--package]
#   --desktop  a CJK font, so the window's Chinese texts show on any desktop
#   --fuzz     clang with libFuzzer and the sanitizer runtimes
#   --package  what building and checking the Debian package needs
set -euo pipefail

# ser2net: the end-to-end tests put it, as a device server on loopback, in
# front of the simulated bus. ninja-build: the build's generator.
# dpkg-dev: dpkg-buildflags, the hardening flags of every normal build.
packages=(cmake make ninja-build g++ dpkg-dev qt6-base-dev qt6-serialport-dev ser2net
    libpaho-mqtt-dev libssl-dev mosquitto mosquitto-clients openssl)
for option in "$@"; do
    case "$option" in
    --desktop) packages+=(fonts-wqy-zenhei) ;;
    --fuzz) packages+=(clang-14 libclang-rt-14-dev) ;;
    # file: how CPack tells programs from other files; man-db: lintian reads
    # the manual pages with it; devscripts: hardening-check; systemd:
    # systemd-analyze checks the monitor's unit.
    --package) packages+=(file lintian appstream man-db devscripts systemd) ;;
    *)
        echo "usage: $0 [--desktop] [--fuzz] [--package]" >&2
        exit 2
        ;;
    esac
done

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
