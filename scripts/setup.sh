#!/usr/bin/env bash
# Installs everything the build, the tests and the shell need on Debian 12.
# Idempotent: when every package is already present it only checks and returns.
set -euo pipefail

packages=(
  build-essential cmake pkg-config clang clang-format
  libgtk-3-dev libwebkit2gtk-4.1-dev libepoxy-dev libx11-dev
  nlohmann-json3-dev libsoup-3.0-dev glib-networking libicu-dev libidn2-dev
  libgtest-dev libgmock-dev googletest
  libclang-rt-14-dev
  python3 python3-venv
  xvfb xauth xdotool x11-utils imagemagick
  xfwm4 openbox weston mutter
  librsvg2-common librsvg2-bin
  fonts-noto-cjk
  dbus-daemon
  dpkg-dev desktop-file-utils appstream
  jupyter-notebook python3-ipykernel
)

# The start-up benchmark's reference browsers: MiniBrowser ships with
# libwebkit2gtk-4.1; pywebview with its GTK backend (not its Qt one).
if [ "${1:-}" = "--bench" ]; then
  packages+=(python3-webview gir1.2-gtk-3.0 gir1.2-webkit2-4.0 python3-gi python3-gi-cairo)
fi

missing=()
for p in "${packages[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    missing+=("$p")
  fi
done

if [ ${#missing[@]} -eq 0 ]; then
  exit 0
fi

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update
$SUDO apt-get install -y --no-install-recommends "${missing[@]}"
