#!/usr/bin/env bash
# Builds the fuzz targets with clang in build-fuzz/ and runs each for SECONDS
# seconds, starting from a scratch copy of its seed corpus (the repository is
# left as it is). Prints the executions of each target; exits non-zero when
# any target crashed, timed out or leaked, after copying the inputs that did
# it to fuzz/crashes-found/.
#   fuzz/run.sh SECONDS
set -euo pipefail

seconds="${1:-}"
if [[ ! "$seconds" =~ ^[1-9][0-9]*$ ]]; then
    echo "usage: fuzz/run.sh SECONDS" >&2
    exit 2
fi

root="$(cd "$(dirname "$0")/.." && pwd)"
build="$root/build-fuzz"
targets=(fuzz_catalog fuzz_engine fuzz_convert)

cmake -S "$root" -B "$build" -G Ninja -DCMAKE_CXX_COMPILER=clang++ \
    -DCMAKE_BUILD_TYPE=RelWithDebInfo -DVELMORO_FUZZ=ON \
    -DVELMORO_BUILD_TESTS=OFF -DVELMORO_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}"

work="$(mktemp -d "${TMPDIR:-/tmp}/velmoro-fuzz.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# Each target on a core of its own, as many at once as there are cores:
# every target still gets SECONDS of a core, in less time.
fuzz_one() {
    local target=$1 dir="$work/$1" status=0
    mkdir -p "$dir/corpus" "$dir/artifacts" "$dir/tmp"
    cp -R "$root/fuzz/corpus/$target/." "$dir/corpus/"
    local extra=()
    if [[ "$target" == fuzz_convert ]]; then
        # convert reports each refused catalogue on stderr.
        extra=(-close_fd_mask=2)
    fi
    # Scratch files of the targets go into the work directory as well, so a
    # crashed run leaves nothing behind in /tmp.
    TMPDIR="$dir/tmp" "$build/fuzz/$target" "$dir/corpus" \
        -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1 \
        -artifact_prefix="$dir/artifacts/" "${extra[@]}" >"$dir/log" 2>&1 || status=$?
    echo "$status" >"$dir/status"
}
cores=$(nproc)
for target in "${targets[@]}"; do
    echo "== $target for ${seconds}s"
    fuzz_one "$target" &
    while [[ $(jobs -rp | wc -l) -ge $cores ]]; do
        wait -n || true
    done
done
wait
failed=0
for target in "${targets[@]}"; do
    dir="$work/$target"
    status=$(cat "$dir/status" 2>/dev/null || echo unknown)
    executions="$(sed -n 's/^stat::number_of_executed_units: *\([0-9]*\).*/\1/p' "$dir/log" | tail -n 1)"
    printf '%s: %s executions in %s s\n' "$target" "${executions:-unknown}" "$seconds"
    if [[ $status != 0 || -n "$(ls -A "$dir/artifacts")" ]]; then
        failed=1
        echo "$target FAILED (exit $status); the end of its output:"
        tail -n 40 "$dir/log"
        mkdir -p "$root/fuzz/crashes-found"
        for artifact in "$dir/artifacts"/*; do
            [[ -e "$artifact" ]] || continue
            cp "$artifact" "$root/fuzz/crashes-found/$target-$(basename "$artifact")"
            echo "input kept as fuzz/crashes-found/$target-$(basename "$artifact")"
        done
    fi
done
exit "$failed"
