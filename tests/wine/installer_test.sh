#!/usr/bin/env bash
# The Windows installer under Wine: installs silently, checks the files, the
# Start menu entries (each starts a file that is there; the desktop program's,
# opened as Explorer opens it, shows the program's window) and the entry in
# the list of installed programs, then uninstalls and checks that they are
# gone again. Then installs once more as users do, through its pages by their
# keys, and finishes with "Run Velmoro Downloader" ticked: the program's
# window must open.
# With OLDER.exe, an older version's installer is put in first, and the
# installer under test over it: one entry must be left, of the new version.
# Usage: tests/wine/installer_test.sh INSTALLER.exe [OLDER.exe]
# Runs in the prefix of tests/wine/suite.sh, or in a scratch prefix of its
# own when started alone.
set -euo pipefail
here="$(cd "$(dirname "$0")" && pwd)"
installer="$(realpath "$1")"
older="${2:+$(realpath "$2")}"
source "$here/wine_env.sh"
if [ -z "${WINEPREFIX:-}" ] || [ ! -d "$WINEPREFIX" ]; then
    wine_prefix_start
fi

folder="$WINEPREFIX/drive_c/Program Files/Velmoro Downloader"
uninstall_key='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Velmoro Downloader'
source "$here/../checks.sh"
start_menu_links() {
    find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Velmoro Downloader*/*.lnk' 2>/dev/null |
        sed 's|.*/||' | sort | tr '\n' ';'
}
# Each Start menu entry's target is a file that is there, and its working
# folder a folder that is there; says which are not.
start_menu_targets_exist() {
    local link fields target folder faults=0
    while IFS= read -r -d '' link; do
        if ! fields=$(python3 "$here/shortcut.py" "$link"); then
            faults=$((faults + 1))
            continue
        fi
        target=$(sed -n 's/^target=//p' <<<"$fields")
        folder=$(sed -n 's/^folder=//p' <<<"$fields")
        if [ ! -f "$(wine winepath -u "$target")" ]; then
            echo "           ${link##*/} starts $target, which is not there"
            faults=$((faults + 1))
        fi
        if [ -n "$folder" ] && [ ! -d "$(wine winepath -u "$folder")" ]; then
            echo "           ${link##*/} starts in $folder, which is not there"
            faults=$((faults + 1))
        fi
    done < <(find "$WINEPREFIX/drive_c" -path '*Start Menu/Programs/Velmoro Downloader*/*.lnk' -print0)
    [ "$faults" = 0 ]
}
# The desktop program's Start menu entry, opened as Explorer opens a
# shortcut: its window opens; the program is then ended.
program_link_opens_window() {
    local link window
    link=$(find "$WINEPREFIX/drive_c" \
        -path '*Start Menu/Programs/Velmoro Downloader/Velmoro Downloader.lnk' | head -1)
    [ -n "$link" ] || return 1
    timeout 60 "$WINELOADER" start /unix "$link" || return 1
    window=$(wine_window_wait "$wine_main_window" 60) || return 1
    wine_window_end "$window"
}
# The installer as users run it, by its keys: Next, I Agree, Next, Install;
# installing takes a moment, after which the last page offers Finish, with
# "Run Velmoro Downloader" ticked as it comes. Alt+F is pressed until the
# installer has gone (it does nothing on the pages before), and the program's
# window must then open; the program is ended.
finish_page_runs_program() {
    local setup window installer_process
    "$WINELOADER" "$installer" >/dev/null 2>&1 &
    installer_process=$!
    if ! setup=$(wine_window_wait '^Velmoro Downloader Setup' 60); then
        echo "           the installer showed no window"
        kill "$installer_process"
        return 1
    fi
    xdotool windowfocus "$setup" key --delay 200 alt+n alt+a alt+n alt+i
    for _ in $(seq 120); do
        xwininfo -id "$setup" >/dev/null 2>&1 || break
        xdotool windowfocus "$setup" key alt+f 2>/dev/null || true
        if window=$(wine_window_wait "$wine_main_window" 1); then
            break
        fi
    done
    if [ -z "${window:-}" ] && ! window=$(wine_window_wait "$wine_main_window" 60); then
        if xwininfo -id "$setup" >/dev/null 2>&1; then
            echo "           the installer never offered Finish"
            kill "$installer_process"
        else
            echo "           Finish closed the installer, and no program window opened"
        fi
        wait "$installer_process" 2>/dev/null || true
        return 1
    fi
    wait "$installer_process" || true
    wine_window_end "$window"
}
# The list of installed programs, as text: every key under Uninstall.
uninstall_entries() {
    wine reg export 'HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall' \
        'C:\uninstall.reg' /y >/dev/null 2>&1
    iconv -f UTF-16 -t UTF-8 "$WINEPREFIX/drive_c/uninstall.reg" | tr -d '\r'
}
version=$(python3 "$here/../../tools/changelog.py" version "$here/../../CHANGELOG.md")
if [ -n "$older" ]; then
    wine "$older" /S
    check "the older version is listed" \
        grep -qx '"DisplayVersion"="1.9"' <(uninstall_entries)
fi
wine "$installer" /S
entries=$(uninstall_entries)
check "one entry in the list of installed programs" \
    test "$(grep -cx '"DisplayName"="Velmoro Downloader"' <<<"$entries")" = 1
check "its version, publisher, help link and size" bash -c '
    grep -qx "\"DisplayVersion\"=\"$1\"" <<<"$2" &&
    grep -qx "\"Publisher\"=\"Velmoro Downloader developers\"" <<<"$2" &&
    grep -qx "\"HelpLink\"=\"https://velmoro-downloader.example/help/\"" <<<"$2" &&
    grep -qE "^\"EstimatedSize\"=dword:0*[1-9a-f][0-9a-f]*$" <<<"$2" &&
    grep -q "^\"UninstallString\"=" <<<"$2"' _ "$version" "$entries"
# An installer made with the browser page (VELMORO_WEB_SITE) carries it in
# web\ with a Start menu entry of its own.
expected_files="Help.htm Uninstall.exe velmoro-downloader-cli.exe velmoro-downloader.exe "
expected_links=$(printf '%s\n' "Uninstall.lnk" "Velmoro Downloader Command Prompt.lnk" \
    "Velmoro Downloader Help.lnk" "Velmoro Downloader.lnk")
if [ -e "$folder/web" ]; then
    expected_files=$(printf '%s\n' Help.htm Uninstall.exe velmoro-downloader-cli.exe velmoro-downloader.exe web |
        sort | tr '\n' ' ')
    expected_links+=$'\nVelmoro Downloader in a Browser.lnk'
    check "the browser page is in web" \
        test -f "$folder/web/index.html" -a -f "$folder/web/velmoro.js" -a -f "$folder/web/Help.htm"
fi
expected_links=$(sort <<<"$expected_links" | tr '\n' ';')

check "the programs and Help.htm are in Program Files" \
    test -f "$folder/velmoro-downloader.exe" -a -f "$folder/velmoro-downloader-cli.exe" \
        -a -f "$folder/Help.htm" -a -f "$folder/Uninstall.exe"
check "nothing else is installed" \
    test "$(cd "$folder" && ls | sort | tr '\n' ' ')" = "$expected_files"
check "the installed program runs and is version $version" \
    grep -qE "^velmoro-downloader-cli $version \(commit [0-9a-f]{12}\)\$" \
        <(wine "$folder/velmoro-downloader-cli.exe" --version | tr -d '\r')
check "the Start menu has the desktop program, the command prompt, the help page (the browser page) and the uninstaller" \
    test "$(start_menu_links)" = "$expected_links"
check "Apps & features lists it" bash -c "'$WINELOADER' reg query '$uninstall_key' >/dev/null 2>&1"
check "every Start menu entry starts a file that is there, in a folder that is there" \
    start_menu_targets_exist
check "the desktop program's Start menu entry, opened, shows the program's window" \
    program_link_opens_window

# In place (_?=, which must stand unquoted at the end of the command line, so
# through a batch file) so that the uninstaller has finished when Wine
# returns; it leaves only itself behind.
printf '@"C:\\Program Files\\Velmoro Downloader\\Uninstall.exe" /S _?=C:\\Program Files\\Velmoro Downloader\r\n' \
    >"$WINEPREFIX/drive_c/uninstall.bat"
wine cmd /c 'C:\uninstall.bat'
check "the uninstaller removes the programs, the help page and the browser page" \
    test ! -e "$folder/velmoro-downloader.exe" -a ! -e "$folder/velmoro-downloader-cli.exe" \
        -a ! -e "$folder/Help.htm" -a ! -e "$folder/web"
check "and the Start menu entries" test -z "$(start_menu_links)"
check "and the entry in Apps & features" \
    bash -c "! '$WINELOADER' reg query '$uninstall_key' >/dev/null 2>&1"

check "installed through its pages, Finish with Run ticked shows the program's window" \
    finish_page_runs_program
wine cmd /c 'C:\uninstall.bat'

if [ "$failures" -gt 0 ]; then
    echo "installer: $failures check(s) failed"
    exit 1
fi
echo "installer: all checks passed"
