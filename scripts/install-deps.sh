#!/usr/bin/env bash
# Installs the Debian 12 packages the project builds, tests and runs with.
set -euo pipefail
packages=(
    build-essential cmake ninja-build pkg-config clang clang-format libclang-rt-14-dev
    libhidapi-dev libudev-dev
    libgtest-dev libgmock-dev libbenchmark-dev
    qpdf poppler-utils libxml2-utils python3 locales
    qt6-base-dev qt6-base-dev-tools libgl-dev xvfb xauth fonts-dejavu-core fonts-liberation2
    fonts-urw-base35
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo apt-get update
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi

# The tests write numbers under a comma-decimal locale, which must exist.
if ! locale -a 2>/dev/null | grep -qi '^de_DE\.utf-\?8$'; then
    sudo=""
    [ "$(id -u)" -eq 0 ] || sudo="sudo"
    $sudo sed -i 's/^# *\(de_DE\.UTF-8 UTF-8\)/\1/' /etc/locale.gen
    grep -q '^de_DE.UTF-8 UTF-8' /etc/locale.gen || echo 'de_DE.UTF-8 UTF-8' | $sudo tee -a /etc/locale.gen >/dev/null
    $sudo locale-gen
fi
