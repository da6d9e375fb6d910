#!/bin/sh
# Takes docs/installer-welcome.png: the installer's first page under Wine on
# a virtual X display. Needs xvfb, x11-utils and imagemagick besides wine64.
# Usage: packaging/windows/screenshot.sh [WIN_BUILD_DIR]
set -eu
WIN=${1:-build/windows}
SRC=$(cd "$(dirname "$0")/../.." && pwd)
set -- "$WIN"/packaging/Quilo1-Setup-*.exe
SETUP=$1
WORK=$(mktemp -d)
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export PATH=/usr/lib/wine:$PATH
# A display of its own: Xvfb picks a free number.
Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$WORK/display" 2>/dev/null &
XVFB=$!
trap 'wineserver -k 2>/dev/null || true; kill $XVFB 2>/dev/null || true; rm -rf "$WORK"' EXIT
i=0; while [ ! -s "$WORK/display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
export DISPLAY=:$(cat "$WORK/display")
wine64 wineboot -i >/dev/null 2>&1 || true
wine64 "$SETUP" >/dev/null 2>&1 &
title="Installazione di Quilo1 $(basename "$SETUP" .exe | sed 's/^Quilo1-Setup-//')"
i=0
until xwininfo -name "$title" >/dev/null 2>&1; do
  i=$((i + 1)); [ $i -lt 60 ] || { echo "no installer window" >&2; exit 1; }
  sleep 0.5
done
sleep 2
import -window "$title" "$SRC/docs/installer-welcome.png"
echo "$SRC/docs/installer-welcome.png"
