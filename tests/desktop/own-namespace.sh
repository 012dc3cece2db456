# Sourced first by the desktop sessions: runs the session again in a network
# of its own and, where the system allows it, with processes of their own
# (and their own /proc, which the engine and the leak checker read), so that
# when the test is killed every daemon it started goes with it.
if [ -z "${ONDRIX_IN_NAMESPACE:-}" ]; then
    export ONDRIX_IN_NAMESPACE=1
    own=(--net --map-root-user --pid --fork --kill-child --mount-proc)
    unshare "${own[@]}" true 2>/dev/null || own=(--net --map-root-user)
    exec unshare "${own[@]}" "$0" "$@"
fi
