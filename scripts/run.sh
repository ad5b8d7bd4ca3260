#!/usr/bin/env bash
# Installs what is missing, builds, and starts the tool on the simulated bus:
# the simulator's default bus of three transmitters on a pseudo-terminal,
# reached as port com1 through a private settings folder, so your own
# settings are not touched. The simulator stops when the window closes.
# Usage: scripts/run.sh           the simulated bus
#        scripts/run.sh --real    your own ports and settings (a real adapter)
set -euo pipefail
root="$(cd "$(dirname "$0")/.." && pwd)"
build="${BUILD_DIR:-$root/build}"
"$root/scripts/install-deps.sh" --desktop
"$root/scripts/build.sh"

if [[ "${1:-}" == "--real" ]]; then
    exec "$build/src/tarnwick"
fi

work="$(mktemp -d)"
sim_pid=""
cleanup() {
    [[ -n "$sim_pid" ]] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

"$build/simulator/tarnwick-sim" --link "$work/bus" --trace "$work/trace.log" \
    </dev/null >"$work/simulator.out" &
sim_pid=$!
for _ in $(seq 50); do
    [[ -e "$work/bus" ]] && break
    sleep 0.1
done
if [[ ! -e "$work/bus" ]]; then
    echo "the simulator did not start:" >&2
    cat "$work/simulator.out" >&2
    exit 1
fi

mkdir -p "$work/config/Tarnwick"
printf '[Ports]\ncom1=%s\n\n[Transmitter]\nCommPort=1\n' "$work/bus" \
    >"$work/config/Tarnwick/Tarnwick.conf"
echo "Simulated bus on $work/bus; its frame trace is $work/trace.log"
XDG_CONFIG_HOME="$work/config" "$build/src/tarnwick"
