# Shared by the desktop tests: a private X display, and waiting for the player's window
# and its exit. Source it after `work` is set.

start_xvfb() {
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>/dev/null &
    xvfb_pid=$!
    for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
    export DISPLAY=:$(cat "$work/display")
}

# Prints the id of the first visible window whose title matches $1, waiting up to 20 s.
wait_window() {
    timeout 20 xdotool search --sync --onlyvisible --name "$1" | head -n 1
}

# Closes the window $1 of the player $2 with Ctrl+X and waits for a clean exit.
close_player() {
    xdotool mousemove --window "$1" 400 300 windowfocus "$1" 2>/dev/null || true
    sleep 0.3
    xdotool key ctrl+x
    for _ in $(seq 100); do kill -0 "$2" 2>/dev/null || break; sleep 0.1; done
    if kill -0 "$2" 2>/dev/null; then echo "Ctrl+X did not close the window"; return 1; fi
    wait "$2" || { echo "player exited with an error"; return 1; }
}
