#!/usr/bin/env bash
# Installs what is missing, builds and runs the benchmark report against the
# simulated bus. Usage: scripts/bench.sh [--quick]
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh"
"$root/scripts/build.sh"
cmake --build "$build" -j"$(nproc)" --target tarnwick-bench
exec "$build/bench/tarnwick-bench" "$@"
