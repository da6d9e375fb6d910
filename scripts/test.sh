#!/bin/sh
# The test command: installs what is missing, builds Linux and Windows, runs
# the native tests with ctest, the Windows unit tests under Wine, Quilo1.exe
# under Wine (a receipt, then its window under Xvfb), then the manual, the
# Debian package and the Windows installer.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=$(nproc 2>/dev/null || echo 2)

scripts/install-deps.sh

cmake -S . -B build/linux -G Ninja -DQUILO1_WERROR=ON
cmake --build build/linux -j "$JOBS"

cmake -S . -B build/windows -G Ninja -DQUILO1_WERROR=ON \
  -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake"
cmake --build build/windows -j "$JOBS"

(cd build/linux && ctest --output-on-failure -j "$JOBS")

# Windows tests: a throw-away Wine prefix, prepared once.
WINEPREFIX=$(mktemp -d /tmp/quilo1-wine.XXXXXX)
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
# The clean-up must not fail the run: there may be no wineserver left to stop.
trap '/usr/lib/wine/wineserver -k 2>/dev/null || true; rm -rf "$WINEPREFIX"' EXIT
PATH="/usr/lib/wine:$PATH"
export PATH
wine64 wineboot -i >/dev/null 2>&1 || true
(cd build/windows && ctest --output-on-failure)

# Quilo1.exe under Wine prints a receipt on the virtual printer through COM1.
tests/e2e/wine-receipt.sh build/windows build/linux
# Quilo1.exe's window under Xvfb, operated from outside; screenshots into build/windows.
tests/window/wine-window.sh build/windows build/linux

# What goes onto a till: the manual, the Debian package with its service, the
# Windows installer (install, run, upgrade, uninstall in a fresh Wine prefix).
tests/packaging/manual-check.sh build/linux/packaging/dodarav1.pdf
tests/packaging/deb-check.sh build/linux
tests/packaging/wine-installer.sh build/windows build/linux
