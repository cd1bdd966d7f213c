#!/usr/bin/env bash
# Installs the Debian packages the build, the tests and the demo need. Quick when all are there:
# it asks apt only for what is missing, and runs `apt-get update` only when it must install.
set -euo pipefail

packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libgl-dev libqcustomplot-dev
    libqt6test6 libqt6serialport6 libqt6network6 libqt6widgets6
    xvfb xauth socat
    libmosquitto-dev mosquitto mosquitto-clients
    libaravis-dev libusb-1.0-0-dev libtiff-dev
)
if [ "${TAVREL_FUZZ:-0}" = 1 ]; then
    packages+=(clang libclang-rt-14-dev)
fi

missing=()
for p in "${packages[@]}"; do
    if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed"; then
        missing+=("$p")
    fi
done
[ ${#missing[@]} -eq 0 ] && exit 0

echo "Installing: ${missing[*]}"
sudo=""
if [ "$(id -u)" -ne 0 ]; then
    sudo="sudo"
fi
export DEBIAN_FRONTEND=noninteractive
if ! $sudo apt-get install -y --no-install-recommends "${missing[@]}"; then
    $sudo apt-get update
    $sudo apt-get install -y --no-install-recommends "${missing[@]}"
fi
