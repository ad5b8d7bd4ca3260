#!/usr/bin/env bash
# Installs what is missing, builds the Debian package and checks it: lintian
# (everything it says is printed; any error or warning fails), hardening-check
# on every program the package holds, and appstreamcli on its metainfo file.
# The package is made in the everyday build folder, build/ (or $BUILD_DIR):
# scripts/build.sh builds it with Debian's hardening flags on every
# configure, so the programs the tests ran are the programs the package holds.
# Usage: scripts/package.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"

"$root/scripts/install-deps.sh" --package

# Configured again with the package's own settings, whatever the folder held:
# the flags, the build type and no sanitizer.
BUILD_DIR="$build" BUILD_TYPE=RelWithDebInfo "$root/scripts/build.sh"
rm -f "$build"/tarnwick_*.deb
(cd "$build" && cpack -G DEB)
debs=("$build"/tarnwick_*.deb)
deb="${debs[0]}"

status=0
echo
echo "lintian $(basename "$deb"):"
lintian --display-info --fail-on error,warning "$deb" || status=1
[[ $status -eq 0 ]] && echo "lintian: no error or warning"

echo
unpacked="$build/deb-contents"
rm -rf "$unpacked"
dpkg-deb -x "$deb" "$unpacked"
# Every program as installed: position independent, with the stack protector,
# and read-only relocations bound at start-up. Control flow protection is not
# among the flags dpkg-buildflags gives on Debian 12. A program may have no
# libc call that fortifying can check (the window has none), so fortified
# calls are required of the programs together: one without any would mean
# the build had no _FORTIFY_SOURCE.
echo "hardening-check:"
fortified=0
for program in "$unpacked"/usr/bin/*; do
    report="$(hardening-check --nocfprotection --nofortify "$program")" || status=1
    echo "$report"
    hardening-check --nocfprotection "$program" >/dev/null && fortified=1
done
if [[ $fortified -eq 0 ]]; then
    echo "no program has a fortified libc call: built without _FORTIFY_SOURCE?" >&2
    status=1
fi

echo
# The monitor's unit as the package installs it. On a machine without the
# package its program is missing, the one complaint allowed (its manual page
# is in the package too, so man: links are not looked up); the sandbox's
# exposure as systemd rates it must stay low.
unit="$unpacked/lib/systemd/system/tarnwick-monitor@.service"
instance="$build/tarnwick-monitor@line1.service"
cp "$unit" "$instance"
echo "systemd-analyze verify $(basename "$unit"):"
complaints="$(systemd-analyze verify --man=no "$instance" 2>&1 |
    grep -v 'Command /usr/bin/tarnwick-cli is not executable' || true)"
rm -f "$instance"
if [[ -n "$complaints" ]]; then
    echo "$complaints"
    status=1
else
    echo "no complaint"
fi
systemd-analyze security --offline=true --root="$unpacked" --threshold=40 \
    tarnwick-monitor@line1.service | tail -n 1 || status=1

echo
for metainfo in "$unpacked"/usr/share/metainfo/*.xml; do
    echo "appstreamcli validate --no-net $(basename "$metainfo"):"
    appstreamcli validate --no-net "$metainfo" || status=1
done

echo
if [[ $status -eq 0 ]]; then
    echo "package: $deb passes"
else
    echo "package: $deb FAILS the checks above" >&2
fi
exit $status
