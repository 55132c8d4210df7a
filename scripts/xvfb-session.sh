# Sourced by the screenshot scripts: one workbench on one virtual display at a
# time. Set display (e.g. :96) before sourcing; stop runs on exit.
#   start SCREEN PICTURE  the workbench alone on a fresh display of SCREEN
#                         (e.g. 1600x1000), the picture loaded, the window at the
#                         top-left corner; sets win. Its client area then starts
#                         at (0, 18): a picture pixel (x, y) is at (16 + x,
#                         66 + y) on the Before view.
#   shoot FILE [screen]   writes the window's area of the screen (or the whole
#                         screen) to FILE and ends the session.
export DISPLAY=$display
xvfb= app= screen_size=
stop() { kill $app $xvfb 2>/dev/null || true; wait $app $xvfb 2>/dev/null || true; }

start() {
    screen_size=$1
    Xvfb "$display" -screen 0 "$1x24" >/dev/null 2>&1 &
    xvfb=$!
    sleep 1
    build/release/graybench "$2" >/dev/null 2>&1 &
    app=$!
    for _ in $(seq 40); do  # the window, or the video window's no-camera box, shows
        xdotool search --onlyvisible --name 'GrayBench' >/dev/null 2>&1 && break
        sleep 0.25
    done
    sleep 1.5
    # Without a camera the video window says so at start-up.
    for box in $(xdotool search --onlyvisible --name '^GrayBench$' 2>/dev/null); do
        xdotool windowfocus --sync "$box" key Return || true
    done
    sleep 1
    win=$(xdotool search --onlyvisible --name "$(basename "$2")" | head -1)
    xdotool windowmove "$win" 0 0 windowfocus --sync "$win"
    sleep 0.5
}

shoot() {
    # The pointer goes to the screen's far corner, away from every control.
    xdotool mousemove $((${screen_size%x*} - 10)) $((${screen_size#*x} - 10))
    sleep 0.5
    if [[ ${2:-} == screen ]]; then
        import -window root "$1"
    else
        eval "$(xdotool getwindowgeometry --shell "$win")"
        import -window root -crop "${WIDTH}x${HEIGHT}+0+0" "$1"
    fi
    echo "wrote $1"
    stop
}
