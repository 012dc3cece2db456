#!/usr/bin/env bash
# Runs a test on a session bus of its own, which goes when the test ends.
# Usage: bus-session.sh TEST [ARGS...]
set -euo pipefail
exec dbus-run-session -- "$@"
