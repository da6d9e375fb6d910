#!/bin/sh
# Quilo1.exe under Wine prints the sample receipt on tools/virtual-ecr: COM1 is
# the printer's pseudo-terminal (through the Wine\Ports registry value, since
# Wine rewrites dosdevices/com1 itself) and the data directory is the shared
# application-data folder, C:\ProgramData\ZEDODER1.
# Usage: tests/e2e/wine-receipt.sh WIN_BUILD_DIR NATIVE_BUILD_DIR
set -eu
WIN=${1:?Windows build directory}
NATIVE=${2:?native build directory (for virtual-ecr)}
ROOT=$(cd "$(dirname "$0")/../.." && pwd)
export WINEPREFIX=${WINEPREFIX:-/tmp/wine-quilo1-e2e} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export PATH=/usr/lib/wine:$PATH
WORK=$(mktemp -d)
TTY=$WORK/com1.tty
[ -d "$WINEPREFIX" ] || wine64 wineboot -i >/dev/null 2>&1
wine64 reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$TTY" /f >/dev/null 2>&1
# No X display here: Wine's null display driver, which has no notification
# area, so the program also shows that it runs on without its icon.
wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d null /f >/dev/null 2>&1
wineserver -k || true
DATA=$WINEPREFIX/drive_c/ProgramData/ZEDODER1
mkdir -p "$DATA" "$WORK/prog"
rm -f "$DATA"/*
printf '1000\r\n' >"$WORK/prog/QLCHKCOM.TXT"
printf '100\r\n' >"$WORK/prog/QLTIMER1.TXT"
HTTP=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '1\r\n%s\r\n' "$HTTP" >"$WORK/prog/QLCONSOLE.TXT"
"$NATIVE/tools/virtual-ecr/virtual-ecr" --link "$TTY" --paper "$WORK/paper.txt" >"$WORK/virtual-ecr.out" 2>&1 &
PRINTER=$!
sleep 1
wine64 "$WIN/src/service/Quilo1.exe" --program-dir "Z:$(echo "$WORK/prog" | tr / '\\')" >"$WORK/quilo1.log" 2>&1 &
QUILO1=$!
finish() {
  kill "$QUILO1" "$PRINTER" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
}
trap finish EXIT
wait_for() { i=0; while [ ! -e "$1" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done; [ -e "$1" ]; }
wait_for "$DATA/SR_MATR.001" || { echo "no SR_MATR.001"; cat "$WORK/quilo1.log"; exit 1; }
cp "$ROOT/samples/receipt.txt" "$DATA/SR_DATI.001"
: >"$DATA/SR_START.001"
wait_for "$DATA/FINESCO.001" || { echo "no FINESCO.001"; cat "$DATA/SR_ERR.001" "$WORK/quilo1.log" 2>/dev/null; exit 1; }
grep -q "icona non aggiunta" "$WORK/quilo1.log" || { echo "the failed notification icon was not logged"; cat "$WORK/quilo1.log"; exit 1; }
# The web console answers on the service's thread.
STATUS=$(curl -sf -H "Host: 127.0.0.1:$HTTP" "http://127.0.0.1:$HTTP/api/status") ||
  { echo "no answer from the console on port $HTTP"; cat "$WORK/quilo1.log"; exit 1; }
echo "$STATUS" | grep -q '"dump":"DUMP ESEGUITO"' || { echo "console status: $STATUS"; exit 1; }
echo "console /api/status answers: COM1 DUMP ESEGUITO"
echo "FINESCO.001 written; SR_OUT.001:"
cat "$DATA/SR_OUT.001"
echo "paper:"
cat "$WORK/paper.txt"
