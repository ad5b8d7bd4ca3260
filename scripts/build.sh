#!/usr/bin/env bash
# Configures and builds one build folder.
# Usage: scripts/build.sh [--sanitize] [CMAKE_OPTION...]
#   (default)   build/: RelWithDebInfo with Debian's hardening flags, the very
#               objects the package is made from (scripts/package.sh)
#   --sanitize  build-asan/: Debug with AddressSanitizer and
#               UndefinedBehaviorSanitizer
# $BUILD_DIR names another folder; $BUILD_TYPE another build type.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
sanitize=0
if [[ "${1:-}" == "--sanitize" ]]; then
    sanitize=1
    shift
fi

options=()
if [[ $sanitize -eq 1 ]]; then
    build="${BUILD_DIR:-$root/build-asan}"
    options+=(-DCMAKE_BUILD_TYPE="${BUILD_TYPE:-Debug}" -DTARNWICK_SANITIZE=ON)
else
    build="${BUILD_DIR:-$root/build}"
    # Debian's hardening flags (stack protector, fortified libc calls, a
    # read-only GOT after start-up), as a package built by Debian's tools gets.
    # CMake reads CXXFLAGS and LDFLAGS from the environment only when a folder
    # is first configured, so they are given on every configure; the file
    # prefix map is made from the source folder, as dpkg-buildflags does from
    # the folder it runs in.
    flag() { (cd "$root" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"); }
    options+=(-DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}" -DTARNWICK_SANITIZE=OFF
        -DCMAKE_CXX_FLAGS="$(flag CXXFLAGS) $(flag CPPFLAGS)"
        -DCMAKE_EXE_LINKER_FLAGS="$(flag LDFLAGS)")
fi

# Ninja keeps both cores busy across target boundaries and decides quickly
# that a rebuild has little to do; a folder made with another generator keeps
# its own.
if [[ ! -f "$build/CMakeCache.txt" ]] && command -v ninja >/dev/null; then
    options+=(-G Ninja)
fi
cmake -S "$root" -B "$build" "${options[@]}" "$@"
cmake --build "$build" -j"$(nproc)"
