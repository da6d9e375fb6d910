#!/bin/sh
# The test command: installs what is missing, builds Linux and Windows, runs
# the native tests with ctest (also in an ASan + UBSan build), a short run of
# every fuzz target, the Windows unit tests under Wine, Quilo1.exe under Wine
# (a receipt, then its window under Xvfb), then checks the manual, the Debian
# package and the Windows installer.
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
# The web console in headless Chromium; its screenshot into build/linux.
/usr/bin/python3 tests/console/browser_test.py build/linux/src/service/quilo1 build/linux/console.png
# The console as a user outside group quilo1 and as a member (as root; skipped otherwise).
tests/console/other-user.sh build/linux
# Quilo1 as a user who may write its settings files but not create files in its folder (as root).
tests/console/program-folder-rights.sh build/linux

# The same native tests, end-to-end ones included, under AddressSanitizer and
# UndefinedBehaviorSanitizer: any report fails its test. The black-box checks
# against the independent printer, the crash table and the twenty rounds of
# two submits mostly wait out time-outs, kills and printing; they ran above.
cmake -S . -B build/sanitize -G Ninja -DQUILO1_WERROR=ON -DQUILO1_SANITIZE=ON
cmake --build build/sanitize -j "$JOBS"
(cd build/sanitize &&
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j "$JOBS" -E 'blackbox|CrashE2E|SubmitE2E')

# Every fuzz target for a few seconds (clang, libFuzzer; scripts/fuzz.sh runs longer).
scripts/fuzz.sh "${QUILO1_FUZZ_SECONDS:-5}"

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
tests/packaging/manual-check.sh build/linux/packaging/dodarav1.pdf build/linux
tests/packaging/deb-check.sh build/linux
tests/packaging/wine-installer.sh build/windows build/linux
