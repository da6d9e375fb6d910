#!/bin/sh
# Quilo1.exe's window under Wine and Xvfb, operated from outside by
# window_driver.exe: hidden start with its icon, clicks on the icon, the
# window's texts, a test receipt on tools/virtual-ecr through COM1,
# "Annulla Scontrino", the manual, About, host jobs served while the icon's
# menu, a message box or About is open, closing by the menu; then closing by
# taskkill (WM_CLOSE) after a cut-off job, and a Windows session that goes on,
# then ends. The program's daily log is checked along the way. Screenshots of
# the window and of About go into the Windows build folder (window-shown.png,
# window-about.png).
# Usage: tests/window/wine-window.sh WIN_BUILD_DIR NATIVE_BUILD_DIR
set -eu
WIN=$(cd "${1:?Windows build directory}" && pwd)
NATIVE=$(cd "${2:?native build directory (for virtual-ecr)}" && pwd)
EXE=$WIN/src/service/Quilo1.exe
DRIVER=$WIN/tests/window/window_driver.exe
export WINEPREFIX=${WINEPREFIX:-/tmp/wine-quilo1-window} WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export PATH=/usr/lib/wine:$PATH
WORK=$(mktemp -d)
winpath() { echo "Z:$1" | tr / '\\'; }

# Our own X server on a free display.
D=91
while [ -e /tmp/.X11-unix/X$D ] || [ -e /tmp/.X$D-lock ]; do D=$((D + 1)); done
Xvfb :$D -screen 0 1024x768x24 -nolisten tcp >"$WORK/xvfb.log" 2>&1 &
XVFB=$!
export DISPLAY=:$D
PRINTER= PRINTER2= QUILO1=
finish() {
  [ -n "$QUILO1" ] && kill "$QUILO1" 2>/dev/null || true
  [ -n "$PRINTER" ] && kill "$PRINTER" 2>/dev/null || true
  [ -n "$PRINTER2" ] && kill "$PRINTER2" 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  kill "$XVFB" 2>/dev/null || true
}
trap finish EXIT
i=0; while [ ! -e /tmp/.X11-unix/X$D ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done

# A Wine desktop with a taskbar and its notification area, as on Windows;
# COM1 is the virtual printer's pseudo-terminal, COM2 another one that
# stays unticked.
TTY=$WORK/com1.tty TTY2=$WORK/com2.tty
[ -d "$WINEPREFIX" ] || wine64 wineboot -i >/dev/null 2>&1
wine64 reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$TTY" /f >/dev/null 2>&1
wine64 reg add 'HKLM\Software\Wine\Ports' /v COM2 /t REG_SZ /d "$TTY2" /f >/dev/null 2>&1
wine64 reg add 'HKCU\Software\Wine\Drivers' /v Graphics /t REG_SZ /d x11 /f >/dev/null 2>&1
wine64 reg add 'HKCU\Software\Wine\Explorer' /v Desktop /t REG_SZ /d Quilo1 /f >/dev/null 2>&1
wine64 reg add 'HKCU\Software\Wine\Explorer\Desktops' /v Quilo1 /t REG_SZ /d 1024x768 /f >/dev/null 2>&1
wineserver -k 2>/dev/null || true
DATA=$WINEPREFIX/drive_c/ProgramData/ZEDODER1
PROG=$WORK/prog
mkdir -p "$DATA" "$PROG" "$WORK/sync"
rm -rf "$DATA"/*
# A log older than thirty days, removed at start.
: >"$DATA/Quilo1-20000101.log"
printf '1000\r\n' >"$PROG/QLCHKCOM.TXT"
printf '100\r\n' >"$PROG/QLTIMER1.TXT"
HTTP=$(/usr/bin/python3 -c 'import socket; s = socket.socket(); s.bind(("127.0.0.1", 0)); print(s.getsockname()[1])')
printf '1\r\n%s\r\n' "$HTTP" >"$PROG/QLCONSOLE.TXT"
# The driver slows the printer down through its control file.
: >"$WORK/sync/ecr-control"
"$NATIVE/tools/virtual-ecr/virtual-ecr" --link "$TTY" --paper "$WORK/paper.txt" --log "$WORK/ecr.log" \
  --control "$WORK/sync/ecr-control" >"$WORK/virtual-ecr.out" 2>&1 &
PRINTER=$!
"$NATIVE/tools/virtual-ecr/virtual-ecr" --link "$TTY2" >"$WORK/virtual-ecr2.out" 2>&1 &
PRINTER2=$!
sleep 1

fail() {
  echo "FAIL: $*"
  echo "--- Quilo1.exe:"; tail -n 20 "$WORK/quilo1.log" 2>/dev/null || true
  echo "--- data directory:"; ls -l "$DATA"; cat "$DATA"/SR_ERR.* 2>/dev/null || true
  echo "--- virtual-ecr:"; tail -n 20 "$WORK/ecr.log" 2>/dev/null || true
  exit 1
}
wait_for() { i=0; while [ ! -e "$1" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done; [ -e "$1" ]; }
start_quilo1() {
  wine64 "$EXE" --program-dir "$(winpath "$PROG")" "$@" >>"$WORK/quilo1.log" 2>&1 &
  QUILO1=$!
}
# An operator's action on the web console. The token is in the user's own
# application data, not in the program folder.
console_post() {
  curl -sf -o /dev/null -H "Host: 127.0.0.1:$HTTP" \
    -H "X-Quilo1-Token: $(cat "$WINEPREFIX"/drive_c/users/*/AppData/Local/Quilo1/QLTOKEN.TXT | head -c 32)" \
    -H "Content-Type: application/json" -d "$2" "http://127.0.0.1:$HTTP/api/actions/$1" || fail "console action $1 $2"
}
# The X window of a Windows window, by its caption.
xwindow() { xwininfo -root -tree | grep -F "\"$1\"" | head -n 1 | awk '{print $1}'; }
shot() {
  id=$(xwindow "$1")
  [ -n "$id" ] || fail "no X window \"$1\" to photograph"
  xwd -id "$id" -silent | convert xwd:- "$2"
  echo "screenshot: $2"
}
# The notification area: the rightmost icon of the taskbar at the bottom.
ICON_X=1012 ICON_Y=758
icon_area() { xwd -root -silent | convert xwd:- -crop 16x16+1004+750 +repage -format '%#' info:; }

start_quilo1
wait_for "$DATA/SR_MATR.001" || fail "no SR_MATR.001"
echo "ok: COM1 identified"
LOG=$DATA/Quilo1-$(date +%Y%m%d).log
grep -q "COM1 Dump: DUMP ESEGUITO" "$LOG" || fail "no dump line in $LOG"
[ ! -e "$DATA/Quilo1-20000101.log" ] || fail "the old log was kept"
echo "ok: the day's log has the status lines, the old log is gone"
icon_with=$(icon_area)

# A second copy ends at once and leaves the first alone.
t0=$(date +%s)
timeout 30 wine64 "$EXE" --program-dir "$(winpath "$PROG")" >"$WORK/second.log" 2>&1 || fail "the second copy failed"
[ $(($(date +%s) - t0)) -lt 15 ] || fail "the second copy took too long to end"
kill -0 "$QUILO1" || fail "the first copy ended"
echo "ok: a second copy ends at once"

# The operator's round; the driver asks for clicks and screenshots.
wine64 "$DRIVER" operate "$(winpath "$WORK/sync")" 'C:\ProgramData\ZEDODER1' >"$WORK/driver.log" 2>&1 &
DRIVER_PID=$!
n=1
while kill -0 "$DRIVER_PID" 2>/dev/null; do
  if [ -e "$WORK/sync/ask-$n" ]; then
    case $(cat "$WORK/sync/ask-$n") in
      click-icon) xdotool mousemove $ICON_X $ICON_Y click 1 ;;
      rclick-icon) xdotool mousemove $ICON_X $ICON_Y click 3 ;;
      dblclick-icon) xdotool mousemove $ICON_X $ICON_Y click --repeat 2 --delay 120 1 ;;
      click-away) xdotool mousemove 512 60 click 1 ;;
      shot-window)
        shot "VEX_Quil1 per Custom RS232/USB                      RT V7" "$WIN/window-shown.png"
        xwd -root -silent | convert xwd:- "$WIN/screen-shown.png" ;;
      shot-about) shot "Informazioni su Quilo1" "$WIN/window-about.png" ;;
      console-fast) console_post detection '{"fast":true}' ;;
      console-slow-150) console_post detection '{"fast":false}' && console_post timer '{"value":"150"}' ;;
      console-timer-1) console_post timer '{"value":"1"}' ;;
    esac
    : >"$WORK/sync/done-$n"
    n=$((n + 1))
  fi
  sleep 0.1
done
rc=0; wait "$DRIVER_PID" || rc=$?
sed 's/\r$//' "$WORK/driver.log"
[ $rc -eq 0 ] || fail "window_driver operate"
rc=0; wait "$QUILO1" || rc=$?
QUILO1=
[ $rc -eq 0 ] || fail "Quilo1.exe ended with $rc"

# What the round left behind.
for f in SR_MATR SR_START SR_ERR SR_OUT FINESCO; do
  [ ! -e "$DATA/$f.001" ] || fail "$f.001 left in the data directory"
done
for f in QLCHKCOM.TXT QLCHKXXS.TXT QLCHKSCO.TXT QLVALIVA.txt; do
  [ -e "$PROG/$f" ] || fail "$f not saved"
done
[ "$(sed -n 16p "$PROG/QLCHKSCO.TXT" | tr -d '\r')" = 1 ] || fail "\"Logo In Coda\" not saved as ticked"
[ "$(tr -d '\r\n' <"$PROG/QLCHKCOM.TXT")" = 1000 ] || fail "port selection not saved"
grep -q "ARTICOLO 1" "$WORK/paper.txt" || fail "no test receipt on the printer's paper"
grep -q "Annull.transazione" "$WORK/ecr.log" || fail "the printer did not receive the cancelling sequence"
[ "$(icon_area)" != "$icon_with" ] || fail "the notification icon is still there"
! grep -q "icona non" "$WORK/quilo1.log" || fail "the notification icon failed"
echo "ok: exchange files removed, settings saved, test receipt and cancelling sequence printed, icon gone"

# Closed as Windows closes a program: taskkill without /F sends WM_CLOSE.
# This start finds a job the journal knows nothing of (written while the
# program was not running), and an argument it does not know.
printf 'SALE,N1,P100;\r\n' >"$DATA/SR_DATI.001"
: >"$DATA/SR_START.001"
start_quilo1 --no-such-option
wait_for "$DATA/SR_MATR.001" || fail "no SR_MATR.001"
for line in "argomento ignorato: --no-such-option" "COM1 Stato: DOCUMENTO INTERROTTO, COPIA IN SR_DATI.001.interrupted-" \
  "senza lavoro nel giornale: rimossi"; do
  grep -qF "$line" "$LOG" || fail "\"$line\" not in the log"
done
grep -qF "SCONTRINO INTERROTTO ANNULLATO" "$LOG" && fail "a receipt cancelled on a guess"
echo "ok: an unknown argument and the unexplained job are in the log, nothing sent to the printer for it"
wine64 taskkill /im Quilo1.exe >/dev/null 2>&1 || fail "taskkill"
i=0; while kill -0 "$QUILO1" 2>/dev/null && [ $i -lt 150 ]; do sleep 0.1; i=$((i + 1)); done
kill -0 "$QUILO1" 2>/dev/null && fail "Quilo1.exe did not end within 15 s of WM_CLOSE"
QUILO1=
for f in SR_MATR SR_START SR_ERR SR_OUT FINESCO; do
  [ ! -e "$DATA/$f.001" ] || fail "$f.001 left after WM_CLOSE"
done
echo "ok: WM_CLOSE from taskkill ends the program cleanly"

# Windows asks to end the session, goes on, then ends it: the clean path
# runs before WM_ENDSESSION is answered.
start_quilo1
rc=0; wine64 "$DRIVER" endsession 'C:\ProgramData\ZEDODER1' >"$WORK/driver2.log" 2>&1 || rc=$?
sed 's/\r$//' "$WORK/driver2.log"
[ $rc -eq 0 ] || fail "window_driver endsession"
rc=0; wait "$QUILO1" || rc=$?
QUILO1=
for f in SR_MATR SR_START SR_ERR SR_OUT FINESCO; do
  [ ! -e "$DATA/$f.001" ] || fail "$f.001 left after the end of the session"
done
echo "ok: the end of the session leaves a clean data directory"
