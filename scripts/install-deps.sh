#!/bin/sh
# Installs the Debian 12 packages the builds and tests need (run as root).
set -e
PKGS="cmake ninja-build g++ googletest libgtest-dev libgmock-dev libbenchmark-dev \
  g++-mingw-w64-x86-64-posix mingw-w64-tools wine64 \
  libpugixml-dev libcurl4-openssl-dev libmicrohttpd-dev nlohmann-json3-dev python3 procps \
  groff libgs10-common img2pdf poppler-utils nsis dpkg-dev binutils systemd \
  debhelper lintian libsystemd-dev pkgconf \
  xvfb x11-apps x11-utils xdotool imagemagick clang libclang-rt-14-dev \
  chromium chromium-driver python3-selenium curl"
missing=""
for p in $PKGS; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
if [ -n "$missing" ]; then
  if [ "$(id -u)" != 0 ]; then
    echo "missing packages:$missing (run this script as root)" >&2
    exit 1
  fi
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends $missing
fi
