# Sourced by the scripts that look at the real window under Xvfb: a runtime
# directory of its own (so no other running copy is raised instead), openbox,
# everything started ended on exit, and a wait for the window.
XDG_RUNTIME_DIR=$(mktemp -d)
export XDG_RUNTIME_DIR QTWEBENGINE_DISABLE_SANDBOX=1
pids=()
trap 'kill "${pids[@]}" 2>/dev/null || true; rm -rf "$XDG_RUNTIME_DIR"' EXIT
openbox >/dev/null 2>&1 &
pids+=($!)

# Sets window to the program's top-level window id, or fails after 30 s.
wait_for_window() {
    window=""
    for _ in $(seq 1 60); do
        window=$(xwininfo -root -tree | awk '/\("ondrix" "Ondrix"\)/ && !w { w = $1 } END { print w }')
        [ -n "$window" ] && return 0
        sleep 0.5
    done
    echo "the window did not appear" >&2
    exit 1
}
