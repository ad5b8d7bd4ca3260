#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the whole suite in a
# normal build and again built with AddressSanitizer and
# UndefinedBehaviorSanitizer, a short run of each fuzzer, then the Debian
# package's check (scripts/package.sh), counted as one test.
# Usage: scripts/test.sh [--quick]   (--quick: the normal build's tests only)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
quick=0
[[ "${1:-}" == "--quick" ]] && quick=1

if [[ $quick -eq 1 ]]; then
    "$root/scripts/install-deps.sh"
else
    "$root/scripts/install-deps.sh" --fuzz
fi

passed=0
failed=0
# Runs the suite of one build folder and adds its counts.
run_suite() {
    local build="$1"
    shift
    BUILD_DIR="$build" "$root/scripts/build.sh" "$@"
    local log="$build/ctest.log"
    local status=0
    (cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(nproc)") 2>&1 |
        tee "$log" || status=$?
    local total fails
    total="$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2/p' "$log" | tail -n 1)"
    fails="$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)"
    if [[ -z "$total" ]]; then
        echo "no test summary in $log" >&2
        return 1
    fi
    passed=$((passed + total - fails))
    failed=$((failed + fails))
    return $status
}

status=0
run_suite "${BUILD_DIR:-$root/build}" || status=1
if [[ $quick -eq 0 ]]; then
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
    export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
    run_suite "$root/build-asan" -DTARNWICK_SANITIZE=ON -DCMAKE_BUILD_TYPE=Debug || status=1

    fuzz_log="$root/build-fuzz.log"
    if "$root/scripts/fuzz.sh" 60 2>&1 | tee "$fuzz_log"; then :; else status=1; fi
    line="$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$fuzz_log" | tail -n 1 || true)"
    if [[ -n "$line" ]]; then
        fuzz_failed="${line#*, }"
        passed=$((passed + ${line%% passed*}))
        failed=$((failed + ${fuzz_failed%% failed}))
    else
        failed=$((failed + 1))
    fi

    # The Debian package, built from a clean folder: one check, passed when
    # lintian finds no error or warning and the metainfo is valid.
    package_log="$root/build-package.log"
    if "$root/scripts/package.sh" 2>&1 | tee "$package_log"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        status=1
    fi
fi

echo
echo "all: $passed passed, $failed failed"
exit $status
