#!/usr/bin/env bash
# Installs what is missing, builds the libFuzzer targets with clang into
# build-fuzz/ (or the folder given as $FUZZ_BUILD_DIR) and runs each for its
# share of the time on a copy of its starting corpus, so fuzz/corpus stays as it is.
# Usage: scripts/fuzz.sh [SECONDS_TOTAL]   (default 60)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${FUZZ_BUILD_DIR:-$root/build-fuzz}"
total="${1:-60}"
if ! [[ "$total" =~ ^[0-9]+$ ]] || [[ "$total" -eq 0 ]]; then
    echo "usage: $0 [SECONDS_TOTAL]" >&2
    exit 2
fi

# libFuzzer and the sanitizer runtimes come with clang's runtime package.
"$root/scripts/install-deps.sh" --fuzz

# The product library is built again here, by clang: GCC's objects of build/
# carry no coverage instrumentation for libFuzzer to follow.
CC=clang-14 CXX=clang++-14 cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DTARNWICK_FUZZ=ON -DBUILD_TESTING=OFF
targets=(fuzz_reply_check fuzz_numeric_value fuzz_number_format)
cmake --build "$build" -j"$(nproc)" --target "${targets[@]}"

# A number needs over 300 digits to leave double range without an exponent,
# so the numeric-value fuzzer gets longer inputs than the others.
declare -A max_len=([fuzz_reply_check]=256 [fuzz_numeric_value]=512 [fuzz_number_format]=256)
share=$((total / ${#targets[@]}))
[[ $share -ge 1 ]] || share=1

export ASAN_OPTIONS="${ASAN_OPTIONS:-detect_leaks=1}"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:-print_stacktrace=1}"
passed=0
failed=0
summaries=()
for t in "${targets[@]}"; do
    work="$build/fuzz-runs/$t"
    rm -rf "$work"
    mkdir -p "$work/corpus" "$work/artifacts"
    cp "$root/fuzz/corpus/$t/"* "$work/corpus/"
    echo "== $t: ${share}s, log in $work/log"
    if "$build/fuzz/$t" -max_total_time="$share" -max_len="${max_len[$t]}" -rss_limit_mb=2048 \
        -timeout=10 -print_final_stats=1 -artifact_prefix="$work/artifacts/" \
        "$work/corpus" >"$work/log" 2>&1; then
        passed=$((passed + 1))
        runs="$(grep -o 'Done [0-9]* runs in [0-9]* second(s)' "$work/log" | tail -n 1 || true)"
        summaries+=("PASS $t: ${runs:-no run count}, corpus $(ls "$work/corpus" | wc -l) inputs")
    else
        failed=$((failed + 1))
        what="$(grep -m 1 -E 'PROPERTY FAILED|ERROR: (AddressSanitizer|libFuzzer|UndefinedBehaviorSanitizer)|runtime error' "$work/log" || echo "exit without a message")"
        input="$(ls "$work/artifacts/"* 2>/dev/null | head -n 1 || true)"
        summaries+=("FAIL $t: $what; input ${input:-not saved}")
        sed -n '/PROPERTY FAILED\|ERROR:\|runtime error/,$p' "$work/log" | head -n 30
    fi
done

printf '%s\n' "${summaries[@]}"
echo "$passed passed, $failed failed"
[[ $failed -eq 0 ]]
