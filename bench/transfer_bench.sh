#!/usr/bin/env bash
# Whole firmware transfers from velmoro-downloader-cli into velmoro-hc-sim over
# a pseudo-terminal, timed by the simulator (--stats): how close the host
# keeps the line to its ideal, how fast it answers, and what it costs.
#   bench/transfer_bench.sh [BUILD_DIR [WINDOWS_BUILD_DIR]]
# BUILD_DIR defaults to build-release. With WINDOWS_BUILD_DIR, the Windows
# program (velmoro-downloader-cli.exe) is timed too, under Wine, through
# Wine's COM1 into the same simulator.
# The span measured runs from the greeting to ":QUIT_OK#"; the port set-up and
# the beacons before the greeting lie outside it. Under Wine the program waits
# for serial events as on a real port (sim/pty_serial_lines.cpp, preloaded).
set -euo pipefail

build=${1:-build-release}
windows_build=${2:-}
sim=$build/sim/velmoro-hc-sim
cli=$build/qt/velmoro-downloader-cli
here="$(cd "$(dirname "$0")" && pwd)"

fail() {
    echo "transfer_bench: FAILED: $*" >&2
    exit 1
}

for program in "$sim" "$cli"; do
    [ -x "$program" ] || fail "$program is missing; build $build first"
done
# Package "time"; ./dev bench installs it.
[ -x /usr/bin/time ] || fail "/usr/bin/time is missing (Debian package time)"

work=$(mktemp -d)
sim_pid=""
cleanup() {
    if [ -n "$sim_pid" ]; then
        kill "$sim_pid" 2>/dev/null || true
        wait "$sim_pid" 2>/dev/null || true
    fi
    rm -rf "$work"
}
trap cleanup EXIT

# show NAME: everything both sides of run NAME printed, for a failure report.
show() {
    local file
    for file in "$work/$1".*; do
        echo "--- $(basename "$file")" >&2
        cat "$file" >&2
    done
}

# run NAME IMAGE [SIM OPTION...]: one transfer of IMAGE. Sets $stats to the
# simulator's stats line and $peak_kib to the CLI's peak resident memory.
# With $wine_cli set, the Windows program makes the transfer under Wine, its
# COM1 pointed at the simulator ($peak_kib is then Wine's loader, not ours).
wine_cli=""
run() {
    local name=$1 image=$2
    shift 2
    local link=$work/$name.link out=$work/$name.sim-out
    "$sim" --link "$link" --stats "$@" >"$out" 2>"$work/$name.sim-err" &
    sim_pid=$!
    local tries=0
    until grep -q '^velmoro-hc-sim: listening on ' "$out"; do
        kill -0 "$sim_pid" 2>/dev/null || { show "$name"; fail "$name: the simulator ended at start"; }
        tries=$((tries + 1))
        [ "$tries" -le 100 ] || { show "$name"; fail "$name: the simulator is not listening after 5 s"; }
        sleep 0.05
    done

    local cli_status=0 sim_status=0
    local command=("$cli" download --port "$link")
    if [ -n "$wine_cli" ]; then
        ln -sfn "$link" "$VELMORO_WINE_COM1_LINK"
        command=(env "LD_PRELOAD=$wine_preload" "$WINELOADER" "$wine_cli" download --port COM1)
    fi
    /usr/bin/time -v -o "$work/$name.time" \
        "${command[@]}" --type main "$image" --timeout 30 \
        >"$work/$name.cli-out" 2>"$work/$name.cli-err" || cli_status=$?
    wait "$sim_pid" || sim_status=$?
    sim_pid=""
    if [ "$cli_status" -ne 0 ] || [ "$sim_status" -ne 0 ]; then
        show "$name"
        fail "$name: the CLI exited with $cli_status, the simulator with $sim_status"
    fi
    stats=$(grep '^velmoro-hc-sim: stats: transfer ' "$out") ||
        { show "$name"; fail "$name: no stats line from the simulator"; }
    peak_kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/$name.time")
    [ -n "$peak_kib" ] || { show "$name"; fail "$name: no peak memory from /usr/bin/time"; }
}

# field NAME: the number after NAME in $stats.
field() {
    sed -E "s/.*[ ,]$1 ([0-9.]+).*/\\1/" <<<"$stats"
}

# verdict VALUE OPERATOR LIMIT: "met" or "MISSED".
verdict() {
    awk -v value="$1" -v limit="$3" -v op="$2" 'BEGIN {
        ok = (op == "<=") ? value <= limit : value < limit
        print ok ? "met" : "MISSED"
    }'
}

image64k=$work/image-64k.bin
image1m=$work/image-1m.bin
head -c 65536 /dev/urandom >"$image64k"
head -c $((1024 * 1024)) /dev/urandom >"$image1m"

echo "== transfer benchmarks: velmoro-downloader-cli into velmoro-hc-sim over a pty"

run paced "$image64k" --baud 115200
echo "paced 64 KiB at 115200 baud: $stats"
ratio=$(field ratio)
echo "paced 64 KiB: ratio $ratio (target <= 1.01) $(verdict "$ratio" '<=' 1.01)"

run instant-64k "$image64k"
echo "instant 64 KiB: $stats"
median=$(field median)
p99=$(field p99)
echo "reaction: median $median ms, p99 $p99 ms (target p99 < 1 ms) $(verdict "$p99" '<' 1)"

# An adapter's latency timer holds each reply of the controller: 16 ms is the
# usual setting of the common USB-serial drivers, 1 ms the lowest.
run latency-1 "$image64k" --baud 115200 --latency 1
fast=$(field transfer)
run latency-16 "$image64k" --baud 115200 --latency 16
slow=$(field transfer)
echo "latency timer, paced 64 KiB at 115200 baud: $slow s at 16 ms, $fast s at 1 ms:" \
    "ratio $(awk -v a="$slow" -v b="$fast" 'BEGIN { printf "%.2f", a / b }')"

run instant-1m "$image1m"
echo "instant 1 MiB: $stats"
transfer=$(field transfer)
echo "1 MiB instant: $transfer s (target < 1 s) $(verdict "$transfer" '<' 1)"
peak_mb=$(awk -v kib="$peak_kib" 'BEGIN { printf "%.1f", kib / 1024 }')
echo "CLI peak memory: $peak_mb MB (target < 30 MB) $(verdict "$peak_mb" '<' 30)"

# A download holds its data file whole in memory from Start on. The peak for
# the largest file it reads (64 MiB), measured at Start: a text of that size,
# which a firmware download does not send without --force, so that no
# controller takes it. The simulator only gives the port.
largest=$work/largest.txt
{ yes 'a line of text that is no firmware image' || true; } | head -c $((64 * 1024 * 1024)) >"$largest"
"$sim" --link "$work/largest.link" >"$work/largest.sim-out" 2>&1 &
sim_pid=$!
until grep -q '^velmoro-hc-sim: listening on ' "$work/largest.sim-out"; do sleep 0.05; done
largest_status=0
/usr/bin/time -v -o "$work/largest.time" "$cli" download --port "$work/largest.link" \
    --type main "$largest" >"$work/largest.cli-out" 2>&1 || largest_status=$?
kill "$sim_pid" 2>/dev/null || true
wait "$sim_pid" 2>/dev/null || true
sim_pid=""
grep -q 'give --force' "$work/largest.cli-out" ||
    { cat "$work/largest.cli-out" >&2; fail "largest: the download did not read the whole file"; }
[ "$largest_status" -ne 0 ] || fail "largest: a text went as firmware without --force"
peak_kib=$(awk -F': ' '/Maximum resident set size/ { print $2 }' "$work/largest.time")
peak_mb=$(awk -v kib="$peak_kib" 'BEGIN { printf "%.1f", kib / 1024 }')
echo "CLI peak memory, 64 MiB data file read at Start: $peak_mb MB (target < 100 MB)" \
    "$(verdict "$peak_mb" '<' 100)"

if [ -n "$windows_build" ]; then
    echo "== the Windows program under Wine: velmoro-downloader-cli.exe through Wine's COM1"
    wine_cli="$(realpath "$windows_build")/win32/velmoro-downloader-cli.exe"
    [ -f "$wine_cli" ] || fail "$wine_cli is missing; build $windows_build first"
    # A scratch Wine prefix with its server for these runs, removed at the
    # end with the work directory.
    source "$here/../tests/wine/wine_env.sh"
    wine_prefix_start
    trap 'wine_prefix_end; cleanup' EXIT
    serial_lines="$(realpath "$build")/sim/libvelmoro_pty_serial_lines.so"
    [ -f "$serial_lines" ] || fail "$serial_lines is missing; build $build first"
    # median_ratio: the median ratio of five paced runs of 64 KiB.
    median_ratio() {
        local ratios=() attempt
        for attempt in 1 2 3 4 5; do
            run wine-paced "$image64k" --baud 115200
            echo "  run $attempt: $stats"
            ratios+=("$(field ratio)")
        done
        ratio=$(printf '%s\n' "${ratios[@]}" | sort -n | sed -n 3p)
    }
    echo "Wine, paced 64 KiB at 115200 baud, waiting for serial events:"
    wine_preload=$serial_lines
    median_ratio
    echo "Wine, paced 64 KiB, events: median ratio of 5 $ratio (target <= 1.02)" \
        "$(verdict "$ratio" '<=' 1.02)"
    # For comparison, the waiting reads of a driver that cannot wait for
    # events: the difference is the time Wine's wait for events takes.
    echo "Wine, paced 64 KiB at 115200 baud, reading without events:"
    wine_preload=""
    median_ratio
    echo "Wine, paced 64 KiB, reads: median ratio of 5 $ratio"
fi
