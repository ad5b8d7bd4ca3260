#!/usr/bin/env bash
# Installs what is missing, builds and runs every test: the whole suite in the
# normal build, the Debian package made from that same build and checked
# (scripts/package.sh, counted as one test), the whole suite again built with
# AddressSanitizer and UndefinedBehaviorSanitizer, and a short run of each
# fuzzer. Prints the time of each stage at the end.
# Usage: scripts/test.sh [--quick]   (--quick: the normal build's tests only)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
quick=0
[[ "${1:-}" == "--quick" ]] && quick=1

if [[ $quick -eq 1 ]]; then
    "$root/scripts/install-deps.sh"
else
    "$root/scripts/install-deps.sh" --fuzz --package
fi

passed=0
failed=0
status=0
stages=()
# Runs one stage, timed; a stage that fails makes the run fail, and says so
# by its own status too.
stage() {
    local name="$1"
    shift
    local start=$EPOCHREALTIME
    local result=0
    "$@" || result=$?
    stages+=("$(awk -v n="$name" -v a="$start" -v b="$EPOCHREALTIME" -v r="$result" \
        'BEGIN { printf "%-20s %6.1f s%s", n, b - a, (r ? "  (failed)" : "") }')")
    [[ $result -eq 0 ]] || status=1
    return $result
}

# Runs the suite of one build folder and adds its counts. The end-to-end
# tests mostly wait on the line, so more of them run at once than there are
# cores; the few that judge timing to the millisecond hold a lock of their
# own (tests/CMakeLists.txt).
run_suite() {
    local build="$1"
    local log="$build/ctest.log"
    local result=0
    (cd "$build" && QT_QPA_PLATFORM=offscreen ctest --output-on-failure -j"$(($(nproc) * 4))") 2>&1 |
        tee "$log" || result=$?
    local total fails
    total="$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\2/p' "$log" | tail -n 1)"
    fails="$(sed -n 's/.*tests passed, \([0-9]*\) tests failed out of \([0-9]*\).*/\1/p' "$log" | tail -n 1)"
    if [[ -z "$total" ]]; then
        echo "no test summary in $log" >&2
        failed=$((failed + 1))
        return 1
    fi
    passed=$((passed + total - fails))
    failed=$((failed + fails))
    return $result
}

# The package, made from the normal build and checked: one test.
check_package() {
    if BUILD_DIR="$normal" "$root/scripts/package.sh" 2>&1 | tee "$root/build-package.log"; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
        return 1
    fi
}

# Each fuzzer for its share of 60 seconds; every target is one test.
run_fuzzers() {
    local log="$root/build-fuzz.log"
    local result=0
    "$root/scripts/fuzz.sh" 60 2>&1 | tee "$log" || result=$?
    local line
    line="$(grep -E '^[0-9]+ passed, [0-9]+ failed$' "$log" | tail -n 1 || true)"
    if [[ -z "$line" ]]; then
        failed=$((failed + 1))
        return 1
    fi
    local fuzz_failed="${line#*, }"
    passed=$((passed + ${line%% passed*}))
    failed=$((failed + ${fuzz_failed%% failed}))
    return $result
}

# A build that runs beside a suite runs at idle priority (SCHED_IDLE): it
# gets only the time the suite leaves, and a test's process that wakes up
# takes its core at once, so the suite sees no other load than it would
# alone. The suites mostly wait on the line, so the builds get most of both
# cores.
if chrt --idle 0 true 2>/dev/null; then
    idle=(chrt --idle 0)
else
    idle=(nice -n 19)
fi
background_pid=""
# Starts a stage beside the next ones, its output into a log of its own.
start_beside() {
    local name="$1" log="$2"
    shift 2
    (
        start=$EPOCHREALTIME
        result=0
        "${idle[@]}" "$@" >"$log" 2>&1 || result=$?
        awk -v a="$start" -v b="$EPOCHREALTIME" -v r="$result" \
            'BEGIN { printf "%d %.1f\n", r, b - a }' >"$log.done"
    ) &
    background_pid=$!
    background_name="$name"
    background_log="$log"
}
# Waits for the stage started beside, prints its output and says how it went.
finish_beside() {
    wait "$background_pid" || true
    cat "$background_log"
    local result seconds
    read -r result seconds <"$background_log.done"
    stages+=("$(printf '%-20s %6.1f s  (beside the stages before)%s' "$background_name" \
        "$seconds" "$([[ $result -eq 0 ]] || echo "  (failed)")")")
    [[ $result -eq 0 ]] || status=1
    return "$result"
}

normal="${BUILD_DIR:-$root/build}"
asan="$root/build-asan"
# The sanitizer build starts at once: while the normal build keeps both
# cores busy it gets almost nothing, but it fills the moments when the normal
# build waits on one step (a precompiled header, a link).
[[ $quick -eq 1 ]] || start_beside "sanitizer build" "$root/build-asan.log" \
    env BUILD_DIR="$asan" "$root/scripts/build.sh" --sanitize
normal_built=1
if ! stage "normal build" env BUILD_DIR="$normal" "$root/scripts/build.sh"; then
    normal_built=0
    failed=$((failed + 1))
fi

if [[ $normal_built -eq 1 ]]; then
    stage "normal suite" run_suite "$normal" || true
    [[ $quick -eq 1 ]] || stage "package" check_package || true
fi

if [[ $quick -eq 0 ]]; then
    export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1:abort_on_error=1}"
    export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1:halt_on_error=1}"
    asan_built=1
    finish_beside || { asan_built=0; failed=$((failed + 1)); }

    start_beside "fuzz build" "$root/build-fuzz-build.log" "$root/scripts/fuzz.sh" --build-only
    [[ $asan_built -eq 0 ]] || stage "sanitizer suite" run_suite "$asan" || true
    if finish_beside; then
        stage "fuzzing" run_fuzzers || true
    else
        failed=$((failed + 1))
    fi
fi

echo
printf '%s\n' "${stages[@]}"
echo
echo "all: $passed passed, $failed failed"
exit $status
