# Shell functions shared by test.sh, run.sh and the tests that drive the real
# program: a private Wine prefix and a private Xvfb display. Source this file.

# qw_wine_env PREFIX: use the Wine prefix in folder PREFIX, quietly.
qw_wine_env() {
    export WINEPREFIX="$1"
    export WINEARCH=win64
    export WINEDEBUG=-all
    export WINEDLLOVERRIDES="mscoree,mshtml="
}

# qw_start_xvfb: start Xvfb (1024 x 768) on a free display; exports DISPLAY and
# QW_XVFB_PID.
qw_start_xvfb() {
    local n=90
    while [ -e "/tmp/.X$n-lock" ] || [ -e "/tmp/.X11-unix/X$n" ]; do
        n=$((n + 1))
    done
    Xvfb ":$n" -screen 0 1024x768x24 -nolisten tcp >/dev/null 2>&1 &
    QW_XVFB_PID=$!
    local i
    for i in $(seq 1 100); do
        [ -e "/tmp/.X11-unix/X$n" ] && break
        sleep 0.1
    done
    export DISPLAY=":$n"
    export QW_XVFB_PID
}

# qw_wine_prefix_init [desktop]: create the prefix when it does not exist yet and
# keep its wineserver alive. With "desktop", programs open inside a 1024 x 768
# Wine virtual desktop, which draws their caption and frame as Windows does.
qw_wine_prefix_init() {
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        mkdir -p "$WINEPREFIX"
        wineboot -i >/dev/null 2>&1
        wineserver -w
        mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
        cp /usr/share/wine/fonts/marlett.ttf /usr/share/wine/fonts/tahoma.ttf \
           /usr/share/wine/fonts/tahomabd.ttf "$WINEPREFIX/drive_c/windows/Fonts/" 2>/dev/null
        if [ "${1:-}" = desktop ]; then
            wine reg add 'HKCU\Software\Wine\Explorer' /v Desktop /d Default /f >/dev/null 2>&1
            wine reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Default /d 1024x768 /f >/dev/null 2>&1
            # The desktop takes effect with the next session of the prefix.
            wineserver -k >/dev/null 2>&1
            wineserver -w
        fi
    fi
    wineserver -p >/dev/null 2>&1
    # Start the prefix's services now, so that later programs start fast.
    wine cmd /c exit >/dev/null 2>&1 </dev/null
}

# qw_wine_stop: end the prefix's wineserver and the private display.
qw_wine_stop() {
    wineserver -k >/dev/null 2>&1
    if [ -n "${QW_XVFB_PID:-}" ]; then
        kill "$QW_XVFB_PID" 2>/dev/null
        wait "$QW_XVFB_PID" 2>/dev/null
        QW_XVFB_PID=
    fi
}
