#!/usr/bin/env bash
# Installs what building, running and testing Ondrix need on Debian 12.
set -euo pipefail
packages=(
    cmake g++ make pkg-config
    qt6-base-dev qt6-webengine-dev libgl-dev
    libcpp-httplib-dev libbenchmark-dev
    fonts-wqy-zenhei qt6-translations-l10n
    # 打开 and 打开所在文件夹 where no file manager answers on the bus.
    xdg-utils
    dpkg-dev help2man lintian appstream desktop-file-utils
    clang-format
    # The tests of what a person gets: a real display with a window manager,
    # a screen reader's accessibility bus, GNOME's proxy settings and a proxy.
    xvfb xauth x11-utils openbox imagemagick dbus iproute2
    at-spi2-core python3 python3-pyatspi gir1.2-atspi-2.0
    libproxy1-plugin-gsettings libproxy1-plugin-webkit dconf-gsettings-backend dconf-service dconf-cli gsettings-desktop-schemas tinyproxy
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    export DEBIAN_FRONTEND=noninteractive
    apt-get update -qq
    apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
