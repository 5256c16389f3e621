#!/usr/bin/env bash
# clang-tidy (.clang-tidy) and cppcheck over the project's own sources, with
# the compile commands of a configured build.
#   tools/static_checks.sh [BUILD_DIR [WINDOWS_BUILD_DIR]]
# The shared folders and the Qt front end are checked with the compile
# commands of BUILD_DIR; the Windows front end (win32/) with those of the
# Windows build (cmake/mingw-w64-x86_64.cmake) when it is given, and left
# out otherwise.
set -euo pipefail
cd "$(dirname "$0")/.."
build="${1:-build}"
windows_build="${2:-}"
shared=(engine drawing serial cli window sim)
dirs=("${shared[@]}" qt)

echo "== clang-tidy"
log="$(mktemp)"
trap 'rm -f "$log"' EXIT
# Each file's findings are errors (.clang-tidy); the log decides, since
# xargs reports any failing file by its own exit status.
git ls-files "${dirs[@]/%//*.cpp}" \
    | xargs -P "$(nproc)" -n 1 clang-tidy -p "$build" --quiet >"$log" 2>&1 || true
if [ -n "$windows_build" ]; then
    # clang does not find the C++ headers of Debian's MinGW compiler by
    # itself: ask the compiler where they are.
    compiler=$(sed -n 's/^set(CMAKE_CXX_COMPILER "\(.*\)")$/\1/p' \
        "$windows_build"/CMakeFiles/*/CMakeCXXCompiler.cmake | head -1)
    includes=()
    while read -r directory; do
        includes+=("--extra-arg=-isystem$directory")
    done < <(echo | "$compiler" -x c++ -E -v - 2>&1 |
        sed -n '/#include <...> search starts here/,/End of search/p' | grep '^ /' | grep 'c++')
    git ls-files 'win32/*.cpp' \
        | xargs -P "$(nproc)" -n 1 clang-tidy -p "$windows_build" --quiet "${includes[@]}" \
        >>"$log" 2>&1 || true
fi
if grep -i -E -A3 'warning:|error:|error while processing|compilation database' "$log"; then
    echo "clang-tidy found problems"
    exit 1
fi
echo "clang-tidy: clean"

echo "== cppcheck"
# Each front end with the shared folders, since both have headers of the
# same names.
cppcheck --enable=warning,performance,portability --std=c++20 --library=qt --inline-suppr \
    --error-exitcode=1 --quiet --suppress=missingIncludeSystem \
    "${dirs[@]/#/-I}" "${dirs[@]}"
cppcheck --enable=warning,performance,portability --std=c++20 --library=windows --inline-suppr \
    --error-exitcode=1 --quiet --suppress=missingIncludeSystem \
    "${shared[@]/#/-I}" -Iwin32 win32
echo "static checks clean"
