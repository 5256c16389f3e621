#!/usr/bin/env bash
# clang-tidy (.clang-tidy) and cppcheck over the project's own sources, with
# the compile commands of a configured build.   tools/static_checks.sh [BUILD_DIR]
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
dirs=(engine serial cli sim toolkit shell controls)

echo "== clang-tidy"
git ls-files "${dirs[@]/%//*.cpp}" | xargs -P "$(nproc)" -n 1 clang-tidy -p "$build" --quiet 2>&1 \
    | grep -v -E '^[0-9]+ warnings? generated|^Suppressed|^Use -header-filter|^$' | tee /tmp/velmoro-tidy.log
if grep -q -E 'warning:|error:' /tmp/velmoro-tidy.log; then
    echo "clang-tidy found problems"
    exit 1
fi

echo "== cppcheck"
cppcheck --enable=warning,performance,portability --std=c++20 --library=qt --inline-suppr \
    --error-exitcode=1 --quiet --suppress=missingIncludeSystem \
    "${dirs[@]/#/-I}" "${dirs[@]}"
echo "static checks clean"
