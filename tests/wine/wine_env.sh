# Sourced by the Wine scripts: a scratch Wine prefix with its server, and
# COM ports that reach files of the test's choosing.
#
# Wine's 64-bit loader is called directly: the `wine` launcher prefers a
# 32-bit Wine when one is installed, even one of a foreign architecture
# (multiarch) that cannot run here.
export WINELOADER=/usr/lib/wine/wine64
export WINESERVER=/usr/lib/wine/wineserver64
export WINEDEBUG=-all
# No desktop integration or Mono/Gecko prompts in a scratch prefix.
export WINEDLLOVERRIDES="mscoree,mshtml=;winemenubuilder.exe=d"

wine() { "$WINELOADER" "$@"; }

# The desktop program's main window, by its title.
wine_main_window='^Velmoro Downloader V2\.0$'

# Waits up to SECONDS for a window whose title matches PATTERN to be shown
# and prints its id; fails when none is.
wine_window_wait() {  # wine_window_wait PATTERN SECONDS
    local window
    window=$(timeout "$2" xdotool search --sync --onlyvisible --name "$1" | head -1) &&
        [ -n "$window" ] && echo "$window"
}

# Ends the program that shows WINDOW, whoever started it (its process, by the
# id Wine gives its windows), and waits until it and its window are gone.
wine_window_end() {  # wine_window_end WINDOW
    local pid
    pid=$(xdotool getwindowpid "$1") || return 1
    kill -KILL "$pid"
    timeout 30 tail --pid="$pid" -f /dev/null || return 1
    # The display lets the window go when it has read the end of the
    # program's connection, a moment later.
    for _ in $(seq 100); do
        xwininfo -id "$1" >/dev/null 2>&1 || return 0
        sleep 0.1
    done
    return 1
}

# A display of its own for the windows of the suite: a virtual X server on
# the first free display number.
wine_display_start() {
    local number=90
    while [ -e "/tmp/.X$number-lock" ] || [ -e "/tmp/.X11-unix/X$number" ]; do
        number=$((number + 1))
    done
    Xvfb ":$number" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    wine_xvfb=$!
    export DISPLAY=":$number"
    for _ in $(seq 50); do
        [ -e "/tmp/.X11-unix/X$number" ] && return 0
        sleep 0.1
    done
    echo "Xvfb did not start on $DISPLAY" >&2
    return 1
}

# Makes the prefix in a scratch directory, maps COM1 to a link in it
# ($VELMORO_WINE_COM1_LINK, which the tests point at a simulator) and leaves
# COM8 reaching nothing; then starts the display and the one server of the
# suite. Everything goes again when the calling script exits.
wine_prefix_start() {
    wine_scratch="$(mktemp -d "${TMPDIR:-/tmp}/velmoro-wine.XXXXXX")"
    export WINEPREFIX="$wine_scratch/prefix"
    export VELMORO_WINE_COM1_LINK="$wine_scratch/com1"
    trap wine_prefix_end EXIT
    wine_display_start
    wine wineboot --init >/dev/null 2>&1
    wine reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$VELMORO_WINE_COM1_LINK" /f >/dev/null
    wine reg add 'HKLM\Software\Wine\Ports' /v COM8 /t REG_SZ /d "$wine_scratch/absent" /f >/dev/null
    # The port mapping is read when Wine starts: start afresh, and keep the
    # server running until the end instead of once per program.
    "$WINESERVER" -k || true
    # Its messages (a dump of its objects when a program is interrupted) go
    # to a log beside the prefix.
    "$WINESERVER" -p 2>"$wine_scratch/wineserver.log"
    wine wineboot >/dev/null 2>&1
}

wine_prefix_end() {
    "$WINESERVER" -k 2>/dev/null || true
    if [ -n "${wine_xvfb:-}" ]; then
        kill "$wine_xvfb" 2>/dev/null || true
        wait "$wine_xvfb" 2>/dev/null || true
    fi
    rm -rf "$wine_scratch"
}
