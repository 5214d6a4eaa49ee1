#!/usr/bin/env bash
# Runs a Windows program under Wine with the project's test runtime set up:
# a prefix of the program's bitness, a persistent wineserver, a virtual X
# display and ALSA's null audio device (the audio renderers cannot be created
# without a device).
#
#   wine-run.sh PROGRAM [ARGS...]   run PROGRAM, exit with its status
#   wine-run.sh --stop              stop the wineserver and the display
#
# Setting up a new prefix takes 10-20 s; it is announced on standard error
# where that is a terminal, or always with CORVINA_WINE_CALLER=NAME (the
# message then starts with NAME).
#
# The prefix is $CORVINA_WINEPREFIX (default: build/wineprefix in the tree),
# its bitness $CORVINA_WINEARCH: win32 (default) or win64. The loaders are
# called directly: /usr/bin/wine prefers the 32-bit one whenever it is
# installed, even where the kernel cannot run it.
# Processes started here share one wineserver and one display, so many test
# programs start in well under a second each. With $CORVINA_WINE_KEEPER (a
# build tree's desktopkeeper.exe) the desktop is started with the server.
set -u
here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
export WINEPREFIX=${CORVINA_WINEPREFIX:-$here/../build/wineprefix}
export WINEARCH=${CORVINA_WINEARCH:-win32}
if [ "$WINEARCH" = win64 ]; then
    export WINELOADER=/usr/lib/wine/wine64 WINESERVER=/usr/lib/wine/wineserver64
else
    export WINELOADER=/usr/lib/wine/wine WINESERVER=/usr/lib/wine/wineserver32
fi
export WINEDEBUG=${WINEDEBUG:--all}
# No installer prompts; and no debugger: a crashing test must end, not wait
# in winedbg until a time-out.
export WINEDLLOVERRIDES=${WINEDLLOVERRIDES:-mscoree,mshtml=;winedbg.exe=d}
# Tests of automatic graph building keep Wine's GStreamer splitter out.
if [ -n "${CORVINA_WINE_NO_GSTREAMER:-}" ]; then
    WINEDLLOVERRIDES="$WINEDLLOVERRIDES;winegstreamer="
fi
state=$WINEPREFIX.run
mkdir -p "$state"
export ALSA_CONFIG_PATH=$state/alsa-null.conf

stop_runtime() {
    "$WINESERVER" -k >/dev/null 2>&1
    if [ -f "$state/xvfb.pid" ]; then
        kill "$(cat "$state/xvfb.pid")" >/dev/null 2>&1
        rm -f "$state/xvfb.pid" "$state/display"
    fi
}

if [ "${1:-}" = "--stop" ]; then
    stop_runtime
    exit 0
fi

(
    # One set-up at a time: ctest runs programs in parallel.
    flock 9
    # The display and the server outlive this call: they must not inherit
    # any pipe of the caller (a build tool waits until every writer of its
    # pipe is gone), so every descriptor but the standard ones and the lock
    # is closed here, and the standard ones are redirected below.
    for fd in /proc/$BASHPID/fd/*; do
        fd=${fd##*/}
        if [ "$fd" -gt 2 ] && [ "$fd" != 9 ] && [ "$fd" != 255 ]; then
            eval "exec $fd>&-"
        fi
    done
    if [ ! -f "$ALSA_CONFIG_PATH" ]; then
        printf 'pcm.!default { type null }\nctl.!default { type hw card 0 }\n' >"$ALSA_CONFIG_PATH"
    fi
    if [ -z "${DISPLAY:-}" ] || [ -n "${CORVINA_OWN_DISPLAY:-}" ]; then
        alive=0
        if [ -f "$state/xvfb.pid" ] && kill -0 "$(cat "$state/xvfb.pid")" 2>/dev/null; then
            alive=1
        fi
        if [ $alive = 0 ]; then
            Xvfb -displayfd 3 -nolisten tcp -screen 0 1280x1024x24 3>"$state/display.tmp" 9>&- \
                </dev/null >/dev/null 2>&1 &
            echo $! >"$state/xvfb.pid"
            for _ in $(seq 100); do
                [ -s "$state/display.tmp" ] && break
                sleep 0.05
            done
            mv "$state/display.tmp" "$state/display"
        fi
        # Explorer, started by wineboot below, owns the desktop window: it
        # must see the display the programs use, or their windows fail.
        export DISPLAY=:$(head -n 1 "$state/display")
    fi
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        # Said to a person, or for a tool that asks (CORVINA_WINE_CALLER
        # names it); not into a test's output, which is compared as it is.
        caller=${CORVINA_WINE_CALLER:-}
        [ -n "$caller" ] || [ ! -t 2 ] || caller=wine-run
        [ -z "$caller" ] ||
            echo "$caller: setting up Wine in $WINEPREFIX (first run only, 10-20 s)" >&2
        "$WINELOADER" wineboot -i </dev/null >/dev/null 2>&1 9>&-
        "$WINESERVER" -w </dev/null >/dev/null 2>&1 9>&-
    fi
    # A persistent server; a second start for the same prefix exits with 2.
    # No child may inherit the lock (fd 9), or the next caller waits for ever.
    if "$WINESERVER" -p </dev/null >/dev/null 2>&1 9>&-; then
        # A new server: start the prefix's service processes here, with their
        # output discarded. Started by a test program they would inherit its
        # output pipe, and ctest would wait for that pipe until its time-out.
        "$WINELOADER" wineboot >/dev/null 2>&1 </dev/null 9>&-
        # And the desktop, held open until the server stops (see the keeper's
        # source): started by a program, it would hold that program's
        # standard error for as long as others use the desktop.
        keeper=${CORVINA_WINE_KEEPER:-}
        if [ -f "$keeper" ]; then
            rm -f "$state/desktop.ready"
            "$WINELOADER" "$keeper" "Z:${state//\//\\}\\desktop.ready" \
                </dev/null >/dev/null 2>&1 9>&- &
            for _ in $(seq 200); do
                [ -f "$state/desktop.ready" ] && break
                sleep 0.05
            done
        fi
    fi
) 9>"$state/lock"

if [ -z "${DISPLAY:-}" ] || [ -n "${CORVINA_OWN_DISPLAY:-}" ]; then
    export DISPLAY=:$(head -n 1 "$state/display")
fi
exec "$WINELOADER" "$@"
