#!/usr/bin/env bash
# Installs a built tree into a scratch root (prefix /usr), or unpacks a
# Debian package there, and checks what lands: the three programs, the link
# on PATH to the desktop program in its private directory, the help page
# beside the real executable, the desktop entry (desktop-file-validate), the
# icons, the copyright file, the changelog and a manual page for each
# program, and nothing else.
#   tests/install_test.sh BUILD_DIR|PACKAGE.deb [EMULATOR...]
# EMULATOR (qemu-aarch64-static, say) runs the programs of a cross build.
# Ends with "install layout: N passed, M failed"; exits 1 if anything failed.
# shellcheck disable=SC2317  # helpers run through check(), out of its sight
set -euo pipefail

installed=${1:?usage: install_test.sh BUILD_DIR|PACKAGE.deb [EMULATOR...]}
shift
emulator=("$@")
source_dir=$(cd "$(dirname "$0")/.." && pwd)
root=$(mktemp -d)
trap 'rm -rf "$root"' EXIT

private=usr/libexec/velmoro-downloader
doc=usr/share/doc/velmoro-downloader
programs=(velmoro-downloader velmoro-downloader-cli velmoro-hc-sim)
sizes=(16 32 48 64)
expected_files=(
    usr/bin/velmoro-downloader
    usr/bin/velmoro-downloader-cli
    usr/bin/velmoro-hc-sim
    "$private/velmoro-downloader"
    "$private/Help.htm"
    usr/share/applications/velmoro-downloader.desktop
    "$doc/Help.htm"
    "$doc/copyright"
    "$doc/changelog.gz"
)
for size in "${sizes[@]}"; do
    expected_files+=("usr/share/icons/hicolor/${size}x${size}/apps/velmoro-downloader.png")
done
for program in "${programs[@]}"; do
    expected_files+=("usr/share/man/man1/$program.1.gz")
done

passed=0
failed=0
pass() { passed=$((passed + 1)); }
fail() {
    echo "FAIL: $*"
    failed=$((failed + 1))
}
# check DESCRIPTION COMMAND...: one check, passed when the command succeeds.
check() {
    local what=$1
    shift
    if "$@"; then pass; else fail "$what"; fi
}
finish() {
    echo "install layout: $passed passed, $failed failed"
    if [ "$failed" -eq 0 ]; then exit 0; fi
    exit 1
}
quietly() { "$@" >/dev/null 2>&1; }

# --- the installation itself ------------------------------------------------

if [[ $installed == *.deb ]]; then
    install_command=(dpkg-deb --extract "$installed" "$root")
else
    install_command=(cmake --install "$installed" --prefix /usr)
fi
if ! log=$(DESTDIR="$root" "${install_command[@]}" 2>&1); then
    echo "$log"
    fail "${install_command[*]}"
    finish
fi
pass

# The browser page, in a package made with it (VELMORO_WEB_SITE): the site
# as ./dev web makes it, the script that opens it and its desktop entry.
web=usr/share/velmoro-downloader/web
web_files=(index.html page.js page.css offline.js sw.js manifest.webmanifest velmoro.js
           dialogs.js Help.htm icons/icon128-16.png icons/icon128-32.png icons/icon128-48.png
           icons/icon128-64.png icons/icon128-192.png icons/icon130-16.png icons/icon131-16.png
           icons/icon130-32.png icons/mark-stop-32.png)
if [ -e "$root/$web/index.html" ]; then
    for file in "${web_files[@]}"; do
        expected_files+=("$web/$file")
    done
    expected_files+=("$private/velmoro-downloader-web" usr/share/applications/velmoro-downloader-web.desktop)
fi

# --- nothing more and nothing less than the expected tree -------------------

# Every expected file with all its parent directories.
expected_tree=$(
    for file in "${expected_files[@]}"; do
        path=$file
        while [ "$path" != . ]; do
            echo "$path"
            path=$(dirname "$path")
        done
    done | LC_ALL=C sort -u
)
actual_tree=$(cd "$root" && find . -mindepth 1 | sed 's|^\./||' | LC_ALL=C sort)
if [ "$actual_tree" = "$expected_tree" ]; then
    pass
else
    fail "the installed tree differs from the expected one (< expected, > installed):"
    diff <(echo "$expected_tree") <(echo "$actual_tree") | grep '^[<>]' || true
fi

# --- the programs -----------------------------------------------------------

is_elf_executable() {
    [ -f "$1" ] && [ ! -L "$1" ] && [ -x "$1" ] \
        && [ "$(head -c 4 "$1" | od -An -c | tr -d ' ')" = '177ELF' ]
}
for program in usr/bin/velmoro-downloader-cli usr/bin/velmoro-hc-sim "$private/velmoro-downloader"; do
    check "$program is an executable program file" is_elf_executable "$root/$program"
done

# The installed command-line programs run from where they were put.
version=$(${emulator[@]+"${emulator[@]}"} "$root/usr/bin/velmoro-downloader-cli" --version 2>&1) || true
check "velmoro-downloader-cli --version printed '$version'" \
    grep -qxE "velmoro-downloader-cli $(python3 "$source_dir/tools/changelog.py" version \
        "$source_dir/CHANGELOG.md") \(commit ([0-9a-f]{12}|unknown)\)" <<<"$version"
check "velmoro-hc-sim --help runs" quietly ${emulator[@]+"${emulator[@]}"} "$root/usr/bin/velmoro-hc-sim" --help

# --- the link on PATH and the help page -------------------------------------

link=$root/usr/bin/velmoro-downloader
target=$(readlink "$link" || true)
check "usr/bin/velmoro-downloader is a symbolic link" test -L "$link"
check "the link's target '$target' is relative (the package may be unpacked anywhere)" \
    test -n "$target" -a "${target:0:1}" != /
# The program finds its help page in the directory of its real executable
# (QCoreApplication::applicationFilePath resolves links through /proc).
real=$(readlink -f "$link" || true)
check "the link resolves to the private directory's executable (got '${real#"$root"/}')" \
    test "$real" = "$root/$private/velmoro-downloader"
help_page=$(dirname "$real")/Help.htm
check "Help.htm lies beside the real executable" test -f "$help_page"
check "Help.htm beside the program is the project's page" \
    cmp -s "$help_page" "$source_dir/resources/Help.htm"
check "the documentation copy of Help.htm is the project's page" \
    cmp -s "$root/$doc/Help.htm" "$source_dir/resources/Help.htm"

# --- the desktop entry ------------------------------------------------------

desktop=$root/usr/share/applications/velmoro-downloader.desktop
if ! command -v desktop-file-validate >/dev/null; then
    fail "desktop-file-validate is missing (package desktop-file-utils; ./dev installs it)"
elif ! report=$(desktop-file-validate "$desktop" 2>&1) || [ -n "$report" ]; then
    fail "desktop-file-validate reports on the desktop entry:"
    echo "$report"
else
    pass
fi
entry_value() { sed -n "s/^$1=//p" "$desktop" | head -n 1; }
exec_line=$(entry_value Exec)
check "the desktop entry starts an installed program (Exec=$exec_line)" \
    test -x "$root/usr/bin/${exec_line%% *}"
check "the desktop entry's icon is the installed one (Icon=$(entry_value Icon))" \
    test "$(entry_value Icon)" = velmoro-downloader
check "the desktop entry does not ask for a terminal" test "$(entry_value Terminal)" = false

if [ -e "$root/$web/index.html" ]; then
    web_desktop=$root/usr/share/applications/velmoro-downloader-web.desktop
    check "desktop-file-validate passes the browser page's entry" \
        test -z "$(desktop-file-validate "$web_desktop" 2>&1)"
    web_exec=$(sed -n 's/^Exec=//p' "$web_desktop")
    check "the browser page's entry starts the installed script (Exec=$web_exec)" \
        test -x "$root$web_exec"
    check "the script opens the installed page" \
        grep -q "^page=/$web/index.html\$" "$root$web_exec"
    check "the page's help is the project's page" cmp -s "$root/$web/Help.htm" "$source_dir/resources/Help.htm"
fi

# --- the icons --------------------------------------------------------------

# Width and height of a PNG file, from its IHDR chunk.
png_size() {
    local bytes
    read -r -a bytes <<<"$(od -An -tu1 -j16 -N8 "$1")"
    echo "$(((bytes[0] << 24) | (bytes[1] << 16) | (bytes[2] << 8) | bytes[3]))x$(((bytes[4] << 24) | (bytes[5] << 16) | (bytes[6] << 8) | bytes[7]))"
}
for size in "${sizes[@]}"; do
    icon=$root/usr/share/icons/hicolor/${size}x${size}/apps/velmoro-downloader.png
    if [ ! -f "$icon" ]; then
        fail "no icon of ${size}x${size}"
    elif [ "$(head -c 8 "$icon" | od -An -tx1 | tr -d ' ')" != 89504e470d0a1a0a ]; then
        fail "the ${size}x${size} icon is not a PNG file"
    else
        check "the ${size}x${size} icon is $(png_size "$icon") pixels" \
            test "$(png_size "$icon")" = "${size}x${size}"
    fi
done

# --- the manual pages --------------------------------------------------------

# Each page is the one of its program (the NAME line names it); lintian
# checks their form and compression on the packages.
for program in "${programs[@]}"; do
    page=$root/usr/share/man/man1/$program.1.gz
    check "the manual page $program.1.gz is that of $program" \
        grep -q "^$program \\\\- " <(gzip -dc "$page" 2>/dev/null)
done

# --- modes: programs executable, data not -----------------------------------

for file in "$private/Help.htm" "$doc/Help.htm" "$doc/copyright" "$doc/changelog.gz" \
    usr/share/man/man1/velmoro-{downloader,downloader-cli,hc-sim}.1.gz \
    usr/share/applications/velmoro-downloader.desktop \
    usr/share/icons/hicolor/{16x16,32x32,48x48,64x64}/apps/velmoro-downloader.png; do
    check "$file has mode 644" test "$(stat -c %a "$root/$file" 2>/dev/null)" = 644
done

finish
