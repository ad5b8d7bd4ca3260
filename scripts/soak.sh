#!/usr/bin/env bash
# A long run on a bad bus: the window polls one simulated transmitter for
# MINUTES while the simulator makes answers go wrong at random and the
# adapter is unplugged and plugged back in now and then; the port is then
# chosen again in the window, as the engineer would. At the same time
# tarnwick-cli polls a second simulated bus, and tarnwick-cli monitor
# publishes a third to a mosquitto restarted every 10 minutes, when they
# have been built and mosquitto is installed. Prints a table for each
# program.
#
# Usage: scripts/soak.sh MINUTES
#   SOAK_UNPLUG_EVERY  seconds between unplugs (default 600; for runs under 30
#                      minutes a quarter of the run, so a short run still sees
#                      three replugs)
#   SOAK_FAULT_RATE    the share of answers that go wrong (default 0.1)
#   SOAK_SERIES          series of the random faults (default 1; the CLI's bus
#                      takes the next one)
#   TARNWICK_CLI       the tarnwick-cli to run beside the window (default: the
#                      one in the build folder, if any)
#   SOAK_BROKER_RESTART_EVERY  seconds between broker restarts (default 600)
# The traces, the window's ticks and the CLI's output stay in build/soak/.
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
minutes="${1:-}"
if ! [[ "$minutes" =~ ^[0-9]+([.][0-9]+)?$ ]] || awk -v m="$minutes" 'BEGIN { exit !(m <= 0) }'; then
    echo "usage: $0 MINUTES" >&2
    exit 2
fi
if [[ -n "${SOAK_UNPLUG_EVERY:-}" ]]; then
    unplug_every="$SOAK_UNPLUG_EVERY"
else
    unplug_every="$(awk -v m="$minutes" 'BEGIN { s = m >= 30 ? 600 : m * 60 / 4; printf "%d", s < 20 ? 20 : s }')"
fi
rate="${SOAK_FAULT_RATE:-0.1}"
series="${SOAK_SERIES:-1}"

"$root/scripts/install-deps.sh"
[[ -f "$build/CMakeCache.txt" ]] ||
    cmake -S "$root" -B "$build" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-RelWithDebInfo}"
cmake --build "$build" -j"$(nproc)" --target tarnwick-soak tarnwick-soak-cli tarnwick-sim

out="$build/soak"
rm -rf "$out"
mkdir -p "$out/window" "$out/cli" "$out/monitor"

# --- the window --------------------------------------------------------------
# The search before polling takes a little over a minute and is not counted.
"$build/bench/tarnwick-soak" --minutes "$minutes" --unplug-every "$unplug_every" \
    --fault-rate "$rate" --series "$series" --out "$out/window" >"$out/window/report" 2>&1 &
window_pid=$!

# --- tarnwick-cli on a second bus ---------------------------------------------
# HOOK for tarnwick-cli: runs only when the program exists. Its bus gets the
# same faults with the next series, and the simulator unplugs it by itself
# (--unplug-every); the CLI reopens the port on its own.
# A simulated bus for one program in folder DIR: the transmitters of
# DIR/bus.json, random faults of series SERIES, the unplugs of the run;
# sim_pid names it once its device is there.
start_bus_simulator() {
    local dir="$1" bus_series="$2"
    "$build/simulator/tarnwick-sim" --bus "$dir/bus.json" --link "$dir/bus" --trace "$dir/trace" \
        --random-faults "$rate" --series "$bus_series" --unplug-every "$unplug_every" \
        </dev/null >"$dir/simulator" 2>&1 &
    sim_pid=$!
    for _ in $(seq 50); do [[ -e "$dir/bus" ]] && break; sleep 0.1; done
}

cli="${TARNWICK_CLI:-$(find "$build" -maxdepth 3 -type f -name tarnwick-cli -perm -u+x 2>/dev/null | head -n 1)}"
cli_pid=""
if [[ -n "$cli" && -x "$cli" ]]; then
    echo '{"transmitters": [{"address": "01", "baud": 9600}]}' >"$out/cli/bus.json"
    start_bus_simulator "$out/cli" "$((series + 1))"
    cli_sim_pid=$sim_pid
    # The CSV's times are wall-clock, the trace's monotonic: a sample of both
    # now and one at the end put them on one clock.
    "$build/bench/tarnwick-soak-cli" --clock-sample >"$out/cli/clock"
    interval_ms=250
    # The simulator unplugs at every multiple of the unplug time, the last one
    # possibly at the very end: the CLI polls 5 s longer so that it can show
    # its recovery from that one too.
    cycles="$(awk -v m="$minutes" -v i="$interval_ms" 'BEGIN { printf "%d", (m * 60000 + 5000) / i }')"
    "$cli" --port "$out/cli/bus" poll 01 --interval "$interval_ms" --count "$cycles" --csv \
        >"$out/cli/readings.csv" 2>"$out/cli/stderr" &
    cli_pid=$!
    # Its bus goes as soon as the CLI is done, so no replug comes after the
    # last cycle (the window may still be polling then).
    (
        while kill -0 "$cli_pid" 2>/dev/null; do sleep 0.5; done
        kill "$cli_sim_pid" 2>/dev/null || true
    ) &
    # Resident memory (kB) and open descriptors of the CLI, once after 2 s,
    # once after a minute and every 10 s after that; the last sample is the end.
    (
        sleep 2
        elapsed=2
        while kill -0 "$cli_pid" 2>/dev/null; do
            rss="$(awk '/^VmRSS:/ { print $2 }' "/proc/$cli_pid/status" 2>/dev/null || true)"
            fds="$(ls "/proc/$cli_pid/fd" 2>/dev/null | wc -l)"
            [[ -n "$rss" ]] && echo "$elapsed $rss $fds" >>"$out/cli/samples"
            step=$([[ $elapsed -lt 60 ]] && echo $((60 - elapsed)) || echo 10)
            sleep "$step"
            elapsed=$((elapsed + step))
        done
    ) &
fi

# --- tarnwick-cli monitor on a third bus, to a broker --------------------------
# The same faults with the series after the CLI's, the same unplugs; the
# broker is stopped (SIGTERM, so it saves its store) and started again every
# SOAK_BROKER_RESTART_EVERY seconds while a subscriber with a persistent
# session records what a consumer gets.
mosquitto_bin="$(command -v mosquitto || echo /usr/sbin/mosquitto)"
monitor_pid=""
if [[ -n "$cli" && -x "$cli" && -x "$mosquitto_bin" ]]; then
    mon="$out/monitor"
    restart_every="${SOAK_BROKER_RESTART_EVERY:-600}"
    echo '{"transmitters": [{"address": "01", "baud": 9600}, {"address": "07", "baud": 4800}]}' >"$mon/bus.json"
    start_bus_simulator "$mon" "$((series + 2))"
    mon_sim_pid=$sim_pid
    # A free loopback port: the first that a broker started on it keeps.
    mkdir -p "$mon/broker"
    # Its pid in a file: the restarts happen in a subshell of their own.
    start_broker() {
        "$mosquitto_bin" -c "$mon/broker/mosquitto.conf" >>"$mon/broker/log" 2>&1 &
        broker_pid=$!
        echo "$broker_pid" >"$mon/broker/pid"
        for _ in $(seq 50); do
            mosquitto_sub -h 127.0.0.1 -p "$broker_port" -t probe -W 1 -C 1 >/dev/null 2>&1 &&
                break
            [[ $? -eq 27 ]] && break # timed out waiting for a message: it is up
            kill -0 "$broker_pid" 2>/dev/null || return 1
            sleep 0.1
        done
    }
    for _ in $(seq 20); do
        broker_port=$((20000 + RANDOM % 40000))
        # Started as root it would switch to the mosquitto user, which cannot
        # save its store in this folder.
        printf 'listener %s 127.0.0.1\nallow_anonymous true\npersistence true\npersistence_location %s/\n%s\n' \
            "$broker_port" "$mon/broker" "$([[ $(id -u) -eq 0 ]] && echo 'user root')" \
            >"$mon/broker/mosquitto.conf"
        start_broker && break
    done
    # The subscriber comes back by itself after each restart of the broker.
    (
        while [[ -e "$mon/broker/mosquitto.conf" ]]; do
            mosquitto_sub -h 127.0.0.1 -p "$broker_port" -q 1 -c -i tarnwick-soak-watch \
                -t 'soak/#' -v >>"$mon/messages" 2>/dev/null || sleep 1
        done
    ) &
    watch_pid=$!
    sleep 1
    "$cli" --port "$mon/bus" monitor 01 07 -i 250 --mqtt "mqtt://127.0.0.1:$broker_port" \
        --topic soak --client-id tarnwick-soak --state-dir "$mon/state" \
        >"$mon/stdout" 2>"$mon/stderr" &
    monitor_pid=$!
    (
        end=$(($(date +%s) + $(awk -v m="$minutes" 'BEGIN { printf "%d", m * 60 }')))
        next=$(($(date +%s) + restart_every))
        while [[ $(date +%s) -lt $end ]]; do
            if [[ $(date +%s) -ge $next ]]; then
                kill -TERM "$broker_pid" 2>/dev/null || true
                # Not always this subshell's child: waited for by its pid.
                while kill -0 "$broker_pid" 2>/dev/null; do sleep 0.1; done
                echo "$(date +%s) broker stopped" >>"$mon/events"
                sleep 3
                start_broker || true
                echo "$(date +%s) broker started" >>"$mon/events"
                next=$((next + restart_every))
            fi
            sleep 1
        done
        kill -TERM "$monitor_pid" 2>/dev/null || true
    ) &
    restarter_pid=$!
    # Resident memory (kB) of the monitor every 10 s.
    (
        elapsed=0
        while kill -0 "$monitor_pid" 2>/dev/null; do
            rss="$(awk '/^VmRSS:/ { print $2 }' "/proc/$monitor_pid/status" 2>/dev/null || true)"
            [[ -n "$rss" ]] && echo "$elapsed $rss" >>"$mon/samples"
            sleep 10
            elapsed=$((elapsed + 10))
        done
    ) &
fi

window_status=0
wait "$window_pid" || window_status=$?
echo "== the window (tarnwick, in-process over QtSerialPort and the simulator's pty)"
cat "$out/window/report"
window_crashes=0
[[ $window_status -ge 128 ]] && window_crashes=1
echo "| crashes | $window_crashes$([[ $window_status -ne 0 ]] && echo " (exit status $window_status)") | 0 | $([[ $window_crashes -eq 0 ]] && echo yes || echo NO) |"

if [[ -n "$cli_pid" ]]; then
    cli_status=0
    wait "$cli_pid" || cli_status=$?
    "$build/bench/tarnwick-soak-cli" --clock-sample >>"$out/cli/clock"
    kill "$cli_sim_pid" 2>/dev/null || true
    wait "$cli_sim_pid" 2>/dev/null || true
    echo
    echo "== tarnwick-cli (its own process, reopening the port by itself)"
    trace="$out/cli/trace"
    echo "| figure | measured | goal | met |"
    echo "|---|---|---|---|"
    # One line a cycle, after the heading line.
    lines="$(($(wc -l <"$out/cli/readings.csv") - 1))"
    echo "| CSV cycle lines / cycles asked for | $lines / $cycles | equal | $([[ $lines -eq $cycles ]] && echo yes || echo NO) |"
    # Exchanges and injected faults from the first poll request on.
    awk '$3 == "heard" && ($4 ~ /^\$01R[PT]0/) { polling = 1 }
         polling && $3 == "heard" {
             if ($4 ~ /^\$01R[PT]0/) n++
             else if ($4 !~ /^\$01AD/) other[$4]++
             if (match($0, /random fault [a-z-]+/)) kind[substr($0, RSTART + 13, RLENGTH - 13)]++
         }
         END {
             printf "| RP0+RT0 exchanges in the trace | %d | (reference) | yes |\n", n
             for (k in kind) printf "| injected %s | %d | (reference) | yes |\n", k, kind[k]
             o = ""; c = 0
             for (f in other) { o = o " " f " x" other[f]; c += other[f] }
             printf "| frames other than RP0/RT0/AD since polling started | %s | 0 | %s |\n", c ? o : "0", c ? "NO" : "yes"
         }' "$trace"
    # Each cycle's two readings beside the faults drawn for their requests,
    # and the time from each replug to the first reading after it.
    "$build/bench/tarnwick-soak-cli" --trace "$trace" --csv "$out/cli/readings.csv" \
        --clock "$out/cli/clock"
    if [[ -s "$out/cli/samples" ]]; then
        read -r _ rss_start fds_start <"$out/cli/samples"
        rss_minute="$(awk '$1 >= 60 { print $2; exit }' "$out/cli/samples")"
        read -r _ rss_end fds_end < <(tail -n 1 "$out/cli/samples")
        rss_minute="${rss_minute:-$rss_start}"
        growth="$(awk -v a="$rss_minute" -v b="$rss_end" 'BEGIN { printf "%+.1f", (b - a) / a * 100 }')"
        echo "| resident memory at 1 min / at the end | $((rss_minute / 1024)) / $((rss_end / 1024)) MiB ($growth %) | within 5 % | $(awk -v g="$growth" 'BEGIN { print (g <= 5 && g >= -5) ? "yes" : "NO" }') |"
        echo "| open file descriptors at start / end | $fds_start / $fds_end | equal | $([[ $fds_start -eq $fds_end ]] && echo yes || echo NO) |"
    fi
    replugs="$(grep -c ' event replug' "$trace" || true)"
    lost="$(grep -c ' lost; reopening' "$out/cli/stderr" || true)"
    reopened="$(grep -c ' reopened$' "$out/cli/stderr" || true)"
    echo "| replugs in the trace / losses and reopenings said on stderr | $replugs / $lost, $reopened | equal | $([[ $lost -eq $replugs && $reopened -eq $replugs ]] && echo yes || echo NO) |"
    cli_crashes=0
    [[ $cli_status -ge 128 ]] && cli_crashes=1
    # Exit status 1 says that some reads failed, as the faults make them.
    echo "| crashes | $cli_crashes (exit status $cli_status) | 0 | $([[ $cli_crashes -eq 0 ]] && echo yes || echo NO) |"
else
    echo
    echo "== tarnwick-cli: not built (set TARNWICK_CLI or build it into $build); its half of the soak was left out"
fi

if [[ -n "$monitor_pid" ]]; then
    monitor_status=0
    wait "$monitor_pid" || monitor_status=$?
    wait "$restarter_pid" 2>/dev/null || true
    sleep 2 # the subscriber takes the last acknowledged readings
    rm -f "$mon/broker/mosquitto.conf"
    kill "$watch_pid" 2>/dev/null || true
    pkill -f "mosquitto_sub -h 127.0.0.1 -p $broker_port" 2>/dev/null || true
    kill -TERM "$(cat "$mon/broker/pid")" 2>/dev/null || true
    kill "$mon_sim_pid" 2>/dev/null || true
    wait "$mon_sim_pid" 2>/dev/null || true
    echo
    echo "== tarnwick-cli monitor (to mosquitto, restarted every ${restart_every} s)"
    echo "| figure | measured | goal | met |"
    echo "|---|---|---|---|"
    restarts="$(grep -c 'broker started' "$mon/events" 2>/dev/null || true)"
    echo "| broker restarts | ${restarts:-0} | (reference) | yes |"
    # Readings by topic and run: counted, and the seq numbers missing between
    # the first and the highest of each (a QoS 1 resend counts once).
    awk '$1 ~ /\/(pressure|temperature)$/ {
             run = $0; sub(/.*"run":"/, "", run); sub(/".*/, "", run)
             seq = $0; sub(/.*"seq":/, "", seq); sub(/[,}].*/, "", seq)
             key = $1 " " run
             if (!((key, seq) in seen)) { seen[key, seq] = 1; count[key]++ }
             if (seq + 0 > high[key]) high[key] = seq + 0
             n++
         }
         END {
             gaps = 0; runs = 0
             for (k in count) { gaps += high[k] - count[k]; runs++ }
             printf "| readings received (topics x runs) | %d (%d) | (reference) | yes |\n", n, runs
             printf "| seq numbers missing within a run | %d | 0 | %s |\n", gaps, gaps ? "NO" : "yes"
         }' "$mon/messages"
    # Every value published is one the simulator sent: the replies of the
    # trace, without address and checksum, beside the texts received.
    awk 'FNR == NR {
             if ($3 == "sent" && $4 ~ /^\*[0-9][0-9][-+]/) {
                 f = $4; sub(/\\r$/, "", f); sent[substr(f, 4, length(f) - 5)] = 1
             }
             next
         }
         $1 ~ /\/(pressure|temperature)$/ {
             t = $0; sub(/.*"text":"/, "", t); sub(/".*/, "", t)
             if (!(t in sent)) { bad++; if (bad <= 3) example = example " " t }
             n++
         }
         END {
             printf "| published values the simulator did not send | %d of %d%s | 0 | %s |\n", bad, n, bad ? " (" example " )" : "", bad ? "NO" : "yes"
         }' "$mon/trace" "$mon/messages"
    if [[ -s "$mon/samples" ]]; then
        # Memory over the first ten minutes against the last ten (the whole
        # first and last fifth of a shorter run), the first minute's
        # start-up left out.
        awk '{ t[NR] = $1; r[NR] = $2 } END {
                 span = t[NR]; w = span >= 1800 ? 600 : span / 5
                 skip = span >= 1800 ? 60 : 0
                 for (i = 1; i <= NR; i++) {
                     if (t[i] >= skip && t[i] <= skip + w) { a += r[i]; na++ }
                     if (t[i] >= span - w) { b += r[i]; nb++ }
                 }
                 a /= na; b /= nb; g = (b - a) / a * 100
                 printf "| resident memory, first / last %d min (mean) | %.1f / %.1f MiB (%+.1f %%) | within 5 %% | %s |\n", w / 60, a / 1024, b / 1024, g, (g <= 5 && g >= -5) ? "yes" : "NO"
             }' "$mon/samples"
    fi
    monitor_crashes=0
    [[ $monitor_status -ge 128 && $monitor_status -ne 143 ]] && monitor_crashes=1
    echo "| crashes | $monitor_crashes (exit status $monitor_status) | 0 | $([[ $monitor_crashes -eq 0 ]] && echo yes || echo NO) |"
fi
