#!/usr/bin/env bash
# Installs what is missing, builds the Debian package from a clean folder and
# checks it: lintian (everything it says is printed; any error or warning
# fails) and appstreamcli on the metainfo file the package holds.
# The folder is build-package/, or $PACKAGE_BUILD_DIR; never $BUILD_DIR, the
# everyday build, since this one is wiped first.
# Usage: scripts/package.sh
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${PACKAGE_BUILD_DIR:-$root/build-package}"

"$root/scripts/install-deps.sh" --package

# Debian's own hardening flags (stack protector, fortified libc calls, a
# read-only GOT after start-up), as a package built by Debian's tools gets.
cd "$root"
eval "$(DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --export=sh)"
export CXXFLAGS="$CXXFLAGS $CPPFLAGS"

rm -rf "$build"
cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DBUILD_TESTING=OFF
cmake --build "$build" -j"$(nproc)"
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
dpkg-deb -x "$deb" "$unpacked"
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
