#!/usr/bin/env bash
# Installs what is missing, builds the libFuzzer targets with clang into
# build-fuzz/ (or the folder given as $FUZZ_BUILD_DIR) and runs each for its
# share of the time, one target per core at once, on a copy of its starting
# corpus, so fuzz/corpus stays as it is.
# Usage: scripts/fuzz.sh [SECONDS_TOTAL]   (default 60)
#        scripts/fuzz.sh --build-only
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
build_only=0
if [[ "${1:-}" == "--build-only" ]]; then
    build_only=1
    shift
fi
total="${1:-60}"
if ! [[ "$total" =~ ^[0-9]+$ ]] || [[ "$total" -eq 0 ]]; then
    echo "usage: $0 [SECONDS_TOTAL] | --build-only" >&2
    exit 2
fi

# libFuzzer and the sanitizer runtimes come with clang's runtime package.
"$root/scripts/install-deps.sh" --fuzz

# The product library is built again here, by clang: GCC's objects of build/
# carry no coverage instrumentation for libFuzzer to follow.
generator=()
[[ ! -f "$build/CMakeCache.txt" ]] && command -v ninja >/dev/null && generator=(-G Ninja)
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" "${generator[@]}" \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DTARNWICK_FUZZ=ON -DBUILD_TESTING=OFF
targets=(fuzz_reply_check fuzz_numeric_value fuzz_number_format fuzz_cli_arguments fuzz_apply_document)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"
[[ $build_only -eq 0 ]] || exit 0

# A number needs over 300 digits to leave double range without an exponent,
# so the numeric-value fuzzer gets longer inputs than the others.
declare -A max_len=([fuzz_reply_check]=256 [fuzz_numeric_value]=512 [fuzz_number_format]=256
    [fuzz_cli_arguments]=512 [fuzz_apply_document]=1024)
share=$((total / ${#targets[@]}))
[[ $share -ge 1 ]] || share=1

# A quarantine of 16 MB instead of 256: a use after free within one input is
# still caught (an input allocates a few KB), and resident memory stays flat
# instead of growing by the quarantine as fresh pages are touched; fewer page
# faults also make each input faster.
# The test command exports ASAN_OPTIONS of its own; the fuzzers' small
# quarantine must hold there too, so it comes first and only what the caller
# sets explicitly overrides it.
export ASAN_OPTIONS="detect_leaks=1:quarantine_size_mb=16${ASAN_OPTIONS:+:$ASAN_OPTIONS}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
# Runs one target for its share in its own folder and leaves there its
# summary line ("PASS ..." or "FAIL ...") and, on a failure, the part of its
# log that says why. Its CPU seconds come from `time` around the fuzzer alone:
# on a shared machine inputs per CPU second say more about a target than
# inputs per second of wall time.
run_target() {
    local t="$1"
    local work="$build/fuzz-runs/$t"
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/artifacts"
    cp "$root/fuzz/corpus/$t/"* "$work/corpus/"
    echo "== $t: ${share}s, log in $work/log"
    # Resident memory above 600 MB is a fault of its own (the run needs about
    # 120), and no input of a few hundred bytes has reason to ask for 64 MB
    # at once. The entropic schedule is off: once the corpus has grown, its
    # bookkeeping of how rare each feature is costs more per input than these
    # small functions themselves (about half again the time of a run of
    # fuzz_cli_arguments), and the targets reach their full coverage within
    # the first minute either way.
    local start=$EPOCHREALTIME result=0
    local TIMEFORMAT="%U %S"
    { time "$build/fuzz/$t" -max_total_time="$share" -max_len="${max_len[$t]}" -entropic=0 \
        -rss_limit_mb=600 -malloc_limit_mb=64 -timeout=10 -print_final_stats=1 \
        -artifact_prefix="$work/artifacts/" "$work/corpus" >"$work/log" 2>&1; } 2>"$work/cpu" ||
        result=$?
    if [[ $result -eq 0 ]]; then
        local seconds runs rss cpu rate cpu_rate
        seconds="$(awk -v a="$start" -v b="$EPOCHREALTIME" 'BEGIN { printf "%.1f", b - a }')"
        runs="$(sed -n 's/^stat::number_of_executed_units: *//p' "$work/log" | tail -n 1)"
        rss="$(sed -n 's/^stat::peak_rss_mb: *//p' "$work/log" | tail -n 1)"
        cpu="$(awk '{ printf "%.1f", $1 + $2 }' "$work/cpu")"
        rate="$(awk -v n="${runs:-0}" -v s="$seconds" 'BEGIN { printf "%.0f", n / s }')"
        cpu_rate="$(awk -v n="${runs:-0}" -v s="$cpu" 'BEGIN { printf "%.0f", (s > 0 ? n / s : 0) }')"
        echo "PASS $t: ${runs:-?} inputs in $seconds s, $rate inputs/s ($cpu_rate per CPU second), peak resident ${rss:-?} MB, corpus $(ls "$work/corpus" | wc -l) inputs" >"$work/summary"
    else
        local what input
        what="$(grep -m 1 -E 'PROPERTY FAILED|ERROR: (AddressSanitizer|libFuzzer|UndefinedBehaviorSanitizer)|runtime error' "$work/log" || echo "exit without a message")"
        input="$(ls "$work/artifacts/"* 2>/dev/null | head -n 1 || true)"
        echo "FAIL $t: $what; input ${input:-not saved}" >"$work/summary"
        sed -n '/PROPERTY FAILED\|ERROR:\|runtime error/,$p' "$work/log" | head -n 30 >"$work/why"
    fi
}

# One target per core at a time: each still runs for its whole share, on a
# core of its own, and the run takes a fraction of the time.
running=0
for t in "${targets[@]}"; do
    if [[ $running -ge $(nproc) ]]; then
        wait -n || true
        running=$((running - 1))
    fi
    run_target "$t" &
    running=$((running + 1))
done
wait

passed=0
failed=0
summaries=()
for t in "${targets[@]}"; do
    work="$build/fuzz-runs/$t"
    [[ -f "$work/why" ]] && cat "$work/why"
    summary="$(cat "$work/summary" 2>/dev/null || echo "FAIL $t: no summary")"
    summaries+=("$summary")
    if [[ "$summary" == PASS* ]]; then
        passed=$((passed + 1))
    else
        failed=$((failed + 1))
    fi
done
printf '%s
' "${summaries[@]}"
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
