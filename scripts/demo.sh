#!/usr/bin/env bash
# Installs, builds and runs the monitor's main job headless: simulated duplicator and eraser
# machines are found, identified, polled and run jobs while their job logs are copied into
# the log databases; then the job report is printed and saved as PDF and CSV.
#   scripts/demo.sh [FOLDER] [MINUTES]     (defaults: ./demo-run, 30 simulated minutes)
set -euo pipefail
cd "$(dirname "$0")/.."
folder="${1:-demo-run}"
minutes="${2:-30}"

scripts/install-deps.sh
cmake -S . -B build -G Ninja
cmake --build build -j "$(nproc)" --target mx40d-sim mx40d-report mx40d-verify

build/app/mx40d-sim --folder "$folder" --minutes "$minutes"
db="$folder/DATABASE"
year=$(date +%Y)
report() {
    build/app/mx40d-report --db "$db/$1.MX40D.LOGDATA" --registry "$db/ORVANE_MX40D.DB7" \
        --machine-id "$1" --from "$year-01-01" --to "$year-12-31" "${@:2}"
}
report DUP-0001 --format text
report DUP-0001 --format pdf --out "$folder/DUP-0001.pdf"
report DUP-0001 --format csv --out "$folder/DUP-0001.csv"
report ERA-0001 --format protected --out "$folder/ERA-0001.txt"
build/app/mx40d-verify "$folder/ERA-0001.txt"
echo "Reports written to $folder/: DUP-0001.pdf, DUP-0001.csv, ERA-0001.txt (protected)"
