#!/bin/sh
# Wine prefix and session for the Windows tests.
#
#   wine-session.sh prepare      create $WINEPREFIX once (slow: 5-10 s), crash dialog off
#   wine-session.sh start        private X server + persistent wineserver + Wine's system processes
#   wine-session.sh stop         end both
#   wine-session.sh run EXE ...  run a Windows program, on the session's display when one is up
#
# Wine starts its system processes from whichever program runs first and they inherit its stdout
# and stderr; started from a test, they would keep ctest waiting. "start" launches them with stdio
# on /dev/null and keeps the server alive, so each test starts in a fraction of a second.
# The session gets its own X server so that Direct3D works in every test: Wine binds the display
# to the session when its system processes start.
set -u

: "${WINEPREFIX:?WINEPREFIX must name the prefix}"
export WINEPREFIX
export WINEDEBUG="${WINEDEBUG:--all}"
# No Mono or Gecko installers: the tests need neither.
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"

wine=/usr/lib/wine/wine64
wineserver=/usr/lib/wine/wineserver
state="$WINEPREFIX/tsr-session"

prepare() {
    [ -f "$state/prepared" ] && return 0
    mkdir -p "$WINEPREFIX" || return 1
    "$wine" wineboot -i </dev/null >/dev/null 2>&1
    # An unhandled exception must end the process, not wait for a click on a dialog.
    "$wine" reg add 'HKCU\Software\Wine\WineDbg' /v ShowCrashDialog /t REG_DWORD /d 0 /f \
        </dev/null >/dev/null 2>&1 || return 1
    "$wineserver" -w
    mkdir -p "$state" && : >"$state/prepared"
}

display_alive() {
    [ -s "$state/display" ] && [ -s "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null
}

start_display() {
    command -v Xvfb >/dev/null 2>&1 || return 0 # headless: Direct3D tests will skip
    rm -f "$state/display" "$state/xvfb.pid"
    Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp 3>"$state/display" \
        </dev/null >/dev/null 2>&1 &
    echo $! >"$state/xvfb.pid"
    tries=0
    while [ ! -s "$state/display" ] && [ $tries -lt 100 ]; do
        sleep 0.1
        tries=$((tries + 1))
    done
    display_alive || { echo "wine-session: Xvfb did not start" >&2; return 1; }
}

stop_display() {
    if [ -s "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" 2>/dev/null
    fi
    rm -f "$state/display" "$state/xvfb.pid"
}

case "${1:-}" in
prepare)
    prepare
    ;;
start)
    prepare || exit 1
    # A server left by test discovery at build time would hold system processes without a display.
    "$wineserver" -k >/dev/null 2>&1
    "$wineserver" -w
    stop_display
    start_display || exit 1
    display_alive && export DISPLAY=":$(cat "$state/display")"
    "$wineserver" -p </dev/null >/dev/null 2>&1
    "$wine" wineboot </dev/null >/dev/null 2>&1
    exit 0
    ;;
stop)
    "$wineserver" -k >/dev/null 2>&1
    "$wineserver" -w
    stop_display
    exit 0
    ;;
run)
    shift
    if display_alive; then
        export DISPLAY=":$(cat "$state/display")"
    else
        unset DISPLAY
    fi
    exec "$wine" "$@"
    ;;
*)
    echo "usage: $0 prepare|start|stop|run EXE [ARGS...]" >&2
    exit 2
    ;;
esac
