#!/bin/sh
# The test command: installs what is missing, builds Linux and Windows, runs
# the native tests with ctest (also in an ASan + UBSan build), a short run of
# every fuzz target, the Windows unit tests under Wine, Quilo1.exe under Wine
# (a receipt, then its window under Xvfb), then checks the manual, the Debian
# package (built with the native build, by dpkg-buildpackage) and the Windows
# installer.
set -e
cd "$(dirname "$0")/.."
ROOT=$(pwd)
JOBS=$(nproc 2>/dev/null || echo 2)
START=$(date +%s)
# Seconds since the start, so a slow stage shows in the log.
stage() { echo "== [$(($(date +%s) - START)) s] $*"; }

scripts/install-deps.sh

stage "Linux build (the Debian package's)"
# The native build is the Debian package's: dpkg-buildpackage configures and
# builds build/linux through debian/rules (warnings are errors there too),
# then packs the very programs that ctest tests below. The package, its
# .buildinfo and .changes land in build/linux/packaging.
DEB_DIR=build/linux/packaging
DEB_NAME=quilo1_$(dpkg-parsechangelog -S Version)_$(dpkg --print-architecture)
mkdir -p "$DEB_DIR"
# debhelper's clean without dh_auto_clean, which would remove build/linux: an
# earlier run's stamps would skip the build, its list of files stay.
dh_clean
started=$(date +%s)
# No debug-symbol package: nothing tests it, and packing it takes half a minute.
QUILO1_DEB_DIR=$DEB_DIR DEB_BUILD_OPTIONS=noautodbgsym dpkg-buildpackage -b -us -uc --no-pre-clean -J"$JOBS" \
  --buildinfo-file="$DEB_DIR/$DEB_NAME.buildinfo" --buildinfo-option=-u"$DEB_DIR" \
  --changes-file="$DEB_DIR/$DEB_NAME.changes" --changes-option=-u"$DEB_DIR"
echo "native build and Debian package: $(($(date +%s) - started)) s"

# The native tests mostly wait (printers, time-outs, kills): the other builds
# run meanwhile at the lowest priority, so they take only the idle processor.
stage "Windows, sanitizer and fuzzer builds in the background"
BG_LOG=build/background-builds.log
ROOT="$ROOT" JOBS="$JOBS" nice -n 19 sh -ec '
  cmake -S . -B build/windows -G Ninja -DQUILO1_WERROR=ON \
    -DCMAKE_TOOLCHAIN_FILE="$ROOT/cmake/mingw-w64.cmake"
  cmake --build build/windows -j "$JOBS"
  cmake -S . -B build/sanitize -G Ninja -DQUILO1_WERROR=ON -DQUILO1_SANITIZE=ON
  cmake --build build/sanitize -j "$JOBS"
  scripts/fuzz.sh --build-only
' >"$BG_LOG" 2>&1 &
BG_PID=$!

stage "Native tests"
(cd build/linux && ctest --output-on-failure -j "$JOBS")
# The README's run and submit lines, as printed there.
tests/readme/quick-start.sh
# The web console in headless Chromium; its screenshot into build/linux.
/usr/bin/python3 tests/console/browser_test.py build/linux/src/service/quilo1 build/linux/console.png
# The console as a user outside group quilo1 and as a member (as root; skipped otherwise).
tests/console/other-user.sh build/linux
# Quilo1 as a user who may write its settings files but not create files in its folder (as root).
tests/console/program-folder-rights.sh build/linux

stage "Waiting for the background builds"
if ! wait "$BG_PID"; then
  tail -60 "$BG_LOG"
  echo "FAIL: a background build (log: $BG_LOG)" >&2
  exit 1
fi

# The same native tests, end-to-end ones included, under AddressSanitizer and
# UndefinedBehaviorSanitizer: any report fails its test. The black-box checks
# against the independent printer, the crash table and the twenty rounds of
# two submits mostly wait out time-outs, kills and printing; they ran above.
stage "Sanitizer tests"
(cd build/sanitize &&
  ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
  ctest --output-on-failure -j "$JOBS" -E 'blackbox|CrashE2E|SubmitE2E')

stage "Fuzzers"
# Every fuzz target for a few seconds (clang, libFuzzer; scripts/fuzz.sh runs longer).
scripts/fuzz.sh "${QUILO1_FUZZ_SECONDS:-5}"

stage "Windows tests under Wine"
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

stage "Manual, packages, installer"
# What goes onto a till: the manual, the Debian package with its service, the
# Windows installer (install, run, upgrade, uninstall in a fresh Wine prefix).
tests/packaging/manual-check.sh build/linux/packaging/dodarav1.pdf build/linux
tests/packaging/deb-check.sh build/linux
tests/packaging/wine-installer.sh build/windows build/linux
stage "All passed"
