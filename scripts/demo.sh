#!/usr/bin/env bash
# Installs, builds and starts the monitor's window over simulated machines: a duplicator and
# an eraser are plugged in, identified, read out and polled, and their job logs are copied
# into DIR/DATABASE. Use the Simulation menu to plug machines in and out, run jobs at their
# front panels, fill their logs or inject faults. On a machine without a display the same
# runs under xvfb-run for a minute and leaves a screenshot.
#   scripts/demo.sh [DIR]        (default: ./demo-run)
set -euo pipefail
cd "$(dirname "$0")/.."
folder="$(realpath -m "${1:-demo-run}")"

scripts/install-deps.sh
cmake -S . -B build -G Ninja >/dev/null
cmake --build build -j "$(nproc)" --target mx40d-demo mx40d mx40d-sim mx40d-report mx40d-verify

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
    build/app/mx40d-demo --folder "$folder" --machines 2
else
    echo "No display: running under xvfb-run for 60 seconds."
    xvfb-run -a build/app/mx40d-demo --folder "$folder" --machines 2 --quit-after 60 \
        --screenshot "$folder/screenshot.png"
fi
echo "Work folder: $folder"
echo "  log databases and registry: $folder/DATABASE"
echo "  debug files:                $folder/DEBUG_SESSION"
[ -f "$folder/screenshot.png" ] && echo "  screenshot:                 $folder/screenshot.png"
build/app/mx40d-report --database "$folder/DATABASE" --list
