#!/bin/sh
# The Windows installer under Wine, in a fresh prefix: silent install (files,
# Start-menu and start-with-Windows entries, uninstall registration), the
# installed Quilo1.exe prints the sample receipt on tools/virtual-ecr through
# COM1, a silent upgrade over the running program closes it through its
# window, a silent uninstall keeps the data directory and the settings, and
# /PURGE removes them. Then: a link (Wine's junction) in place of the data
# directory stops the installer; an install into another folder locks it
# down and takes over a data directory made beforehand, which /PURGE keeps.
# Usage: tests/packaging/wine-installer.sh WIN_BUILD_DIR NATIVE_BUILD_DIR
set -eu
WIN=${1:?Windows build directory}
NATIVE=${2:?native build directory (for virtual-ecr)}
SRC=$(cd "$(dirname "$0")/../.." && pwd)
set -- "$WIN"/packaging/Quilo1-Setup-*.exe
[ $# -eq 1 ] && [ -f "$1" ] || { echo "FAIL: no single Quilo1-Setup-*.exe in $WIN/packaging"; exit 1; }
SETUP=$(cd "$(dirname "$1")" && pwd)/$(basename "$1")
VERSION=$(basename "$SETUP" .exe)
VERSION=${VERSION#Quilo1-Setup-}
WORK=$(mktemp -d)
export WINEPREFIX=$WORK/prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export PATH=/usr/lib/wine:$PATH
PRINTER=""
QUILO1=""
XVFB=""
finish() {
  kill $QUILO1 $PRINTER 2>/dev/null || true
  wineserver -k 2>/dev/null || true
  kill $XVFB 2>/dev/null || true
  rm -rf "$WORK"
}
trap finish EXIT
fail() { echo "FAIL: $*"; exit 1; }

# A windowed Quilo1.exe is found by the installer through its window; Wine
# shares windows between processes only on a display, so one is started.
GUI=false
if objdump -p "$WIN/packaging/stage/Quilo1.exe" 2>/dev/null | grep -q 'Subsystem.*Windows GUI'; then
  GUI=true
  Xvfb -displayfd 3 -nolisten tcp -screen 0 1024x768x24 3>"$WORK/display" 2>/dev/null &
  XVFB=$!
  i=0; while [ ! -s "$WORK/display" ] && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  [ -s "$WORK/display" ] || fail "Xvfb did not start"
  export DISPLAY=:$(cat "$WORK/display")
fi

C=$WINEPREFIX/drive_c
INST=$C/Program\ Files/Quilo1
DATA=$C/ProgramData/ZEDODER1
MENU=$C/ProgramData/Microsoft/Windows/Start\ Menu/Programs/Quilo1
UNINST='HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall\Quilo1'
RUN='HKLM\Software\Microsoft\Windows\CurrentVersion\Run'
# Read a second time when empty: a Wine program now and then ends before
# it prints, as icacls does below.
reg_read() { wine64 reg query "$1" /v "$2" 2>/dev/null | tr -d '\r' | sed -n "s/^ *$2 *REG_[A-Z_]* *//p"; }
reg_value() { v=$(reg_read "$1" "$2"); [ -n "$v" ] || { sleep 1; v=$(reg_read "$1" "$2"); }; printf '%s\n' "$v"; }
settings="QLCHKCOM.TXT QLTIMER1.TXT QLCHKSCO.TXT QLCHKXXS.TXT QLVALIVA.txt"

wine64 wineboot -i >/dev/null 2>&1 || true
wine64 "$SETUP" /S || fail "silent install ended with $?"
for f in Quilo1.exe uninstall.exe dodarav1.pdf $settings; do
  [ -f "$INST/$f" ] || fail "not installed: $f"
done
cmp -s "$INST/Quilo1.exe" "$WIN/packaging/stage/Quilo1.exe" || fail "installed Quilo1.exe differs from the build"
cmp -s "$DATA/dodarav1.pdf" "$WIN/packaging/dodarav1.pdf" || fail "no manual in the data directory"
for f in Quilo1.lnk "Manuale Quilo1.lnk" "Disinstalla Quilo1.lnk"; do
  [ -f "$MENU/$f" ] || fail "no Start-menu entry $f"
done
[ "$(reg_value "$UNINST" DisplayVersion)" = "$VERSION" ] || fail "DisplayVersion is not $VERSION"
[ "$(reg_value "$UNINST" Publisher)" = Vexwerk ] || fail "Publisher is not Vexwerk"
[ "$(reg_value "$UNINST" UninstallString)" = '"C:\Program Files\Quilo1\uninstall.exe"' ] ||
  fail "UninstallString: $(reg_value "$UNINST" UninstallString)"
[ "$(reg_value "$RUN" Quilo1)" = '"C:\Program Files\Quilo1\Quilo1.exe"' ] || fail "no start-with-Windows entry"
echo "installer: silent install of $VERSION: files, Start menu, Run and Uninstall entries present"

# The installed program, settings beside it, data in C:\ProgramData\ZEDODER1.
TTY=$WORK/com1.tty
wine64 reg add 'HKLM\Software\Wine\Ports' /v COM1 /t REG_SZ /d "$TTY" /f >/dev/null 2>&1
wineserver -k || true
printf '1000\r\n' >"$INST/QLCHKCOM.TXT"
printf '100\r\n' >"$INST/QLTIMER1.TXT"
"$NATIVE/tools/virtual-ecr/virtual-ecr" --link "$TTY" --paper "$WORK/paper.txt" >"$WORK/virtual-ecr.out" 2>&1 &
PRINTER=$!
sleep 1
wine64 'C:\Program Files\Quilo1\Quilo1.exe' >"$WORK/quilo1.log" 2>&1 &
QUILO1=$!
wait_for() { i=0; while [ ! -e "$1" ] && [ $i -lt 600 ]; do sleep 0.1; i=$((i + 1)); done; [ -e "$1" ]; }
wait_for "$DATA/SR_MATR.001" || { cat "$WORK/quilo1.log"; fail "no SR_MATR.001"; }
cp "$SRC/samples/receipt.txt" "$DATA/SR_DATI.001"
: >"$DATA/SR_START.001"
wait_for "$DATA/FINESCO.001" || { cat "$DATA/SR_ERR.001" "$WORK/quilo1.log" 2>/dev/null; fail "no FINESCO.001"; }
grep -q "PANE COMUNE" "$WORK/paper.txt" || fail "the receipt is not on the virtual printer's paper"
echo "installer: the installed Quilo1.exe printed the sample receipt through COM1"

# Upgrade over the running program: the installer closes it through its
# window. A console build has no window to close; it is stopped here instead.
if $GUI; then
  wine64 "$SETUP" /S || fail "silent upgrade ended with $?"
  i=0; while kill -0 "$QUILO1" 2>/dev/null && [ $i -lt 100 ]; do sleep 0.1; i=$((i + 1)); done
  kill -0 "$QUILO1" 2>/dev/null && fail "the upgrade did not close the running Quilo1"
  [ ! -e "$DATA/SR_MATR.001" ] || fail "Quilo1 was not closed through its clean path (SR_MATR.001 left)"
  echo "installer: silent upgrade closed the running Quilo1 through its window"
else
  echo "skip: Quilo1.exe is a console program without the window fQuilo1; upgrade over a running copy not tried"
  kill "$QUILO1" 2>/dev/null || true
  wineserver -k || true
  wine64 "$SETUP" /S || fail "silent upgrade ended with $?"
fi
QUILO1=""
[ "$(tr -d '\r\n' <"$INST/QLCHKCOM.TXT")" = 1000 ] || fail "the upgrade replaced the operator's QLCHKCOM.TXT"

# Uninstall: program and entries go, the data directory and settings stay.
: >"$DATA/SR_DATI.002"
wine64 "$INST/uninstall.exe" /S || fail "silent uninstall ended with $?"
wineserver -w
for f in Quilo1.exe uninstall.exe dodarav1.pdf; do
  [ ! -e "$INST/$f" ] || fail "uninstall left $f"
done
[ ! -e "$MENU" ] || fail "uninstall left the Start-menu folder"
wine64 reg query "$UNINST" >/dev/null 2>&1 && fail "uninstall left the Uninstall key"
[ -z "$(reg_value "$RUN" Quilo1)" ] || fail "uninstall left the start-with-Windows entry"
[ -f "$DATA/SR_DATI.002" ] || fail "uninstall removed the data directory"
[ ! -e "$DATA/dodarav1.pdf" ] || fail "uninstall left the manual in the data directory"
for f in $settings; do [ -f "$INST/$f" ] || fail "uninstall removed the setting $f"; done
echo "installer: silent uninstall removed program and entries, kept data directory and settings"

wine64 "$SETUP" /S || fail "silent reinstall ended with $?"
wine64 "$INST/uninstall.exe" /S /PURGE || fail "silent uninstall /PURGE ended with $?"
wineserver -w
[ ! -e "$DATA" ] || fail "uninstall /PURGE left the data directory"
[ ! -e "$INST" ] || fail "uninstall /PURGE left the program folder"
echo "installer: silent uninstall /PURGE removed settings and data directory"

# A link where the data directory goes: Wine shows a unix symbolic link as a
# reparse point, as Windows shows a junction. The installer stops before
# writing anything.
mkdir "$WORK/elsewhere"
ln -s "$WORK/elsewhere" "$DATA"
rc=0; wine64 "$SETUP" /S || rc=$?
[ $rc -ne 0 ] || fail "the installer accepted a junction as the data directory"
[ ! -e "$INST" ] && [ -z "$(ls -A "$WORK/elsewhere")" ] || fail "the refused install left files"
rm "$DATA"
echo "installer: a junction in place of C:\\ProgramData\\ZEDODER1 stopped the install (exit $rc)"

# Another folder, and a data directory someone made first. Wine's icacls is
# a stub that sets no ACL (so none can be read back), and the log of its
# arguments now and then misses a call; a stand-in records each command
# line the installer runs, which shows the rights it gives.
# netsh too: the console's port chosen in QLCONSOLE.TXT gets its reservation.
cp "$WIN/tests/packaging/command_recorder.exe" "$C/windows/system32/icacls.exe"
cp "$WIN/tests/packaging/command_recorder.exe" "$C/windows/system32/netsh.exe"
mkdir "$DATA"
: >"$DATA/SR_DATI.003"
mkdir -p "$C/Cassa/Quilo1"
printf '1\r\n9000\r\n' >"$C/Cassa/Quilo1/QLCONSOLE.TXT"
QUILO1_RECORD='C:\icacls-calls.txt' WINEDLLOVERRIDES="$WINEDLLOVERRIDES;icacls.exe=n;netsh.exe=n" \
  wine64 "$SETUP" /S '/D=C:\Cassa\Quilo1' || fail "install into C:\\Cassa\\Quilo1 ended with $?"
[ -f "$C/Cassa/Quilo1/Quilo1.exe" ] || fail "not installed into C:\\Cassa\\Quilo1"
icacls_call() {
  tr -d '\r' <"$C/icacls-calls.txt" | grep -qxF "\"C:\\windows\\system32\\icacls.exe\" $1" ||
    { cat "$C/icacls-calls.txt"; fail "no icacls $1"; }
}
icacls_call '"C:\Cassa\Quilo1" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)RX'
icacls_call '"C:\Cassa\Quilo1\QLCHKCOM.TXT" /grant *S-1-5-32-545:M'
icacls_call '"C:\ProgramData\ZEDODER1" /setowner *S-1-5-32-544'
netsh_call() {
  tr -d '\r' <"$C/icacls-calls.txt" | grep -qxF "\"C:\\windows\\system32\\netsh.exe\" $1" ||
    { cat "$C/icacls-calls.txt"; fail "no netsh $1"; }
}
netsh_call 'http add urlacl url=http://127.0.0.1:8731/ sddl=D:(A;;GX;;;BU)'
netsh_call 'http add urlacl url=http://127.0.0.1:9000/ sddl=D:(A;;GX;;;BU)'
netsh_call 'http add urlacl url=http://localhost:9000/ sddl=D:(A;;GX;;;BU)'
icacls_call '"C:\ProgramData\ZEDODER1" /inheritance:r /grant:r *S-1-5-32-544:(OI)(CI)F *S-1-5-18:(OI)(CI)F *S-1-5-32-545:(OI)(CI)M'
[ "$(reg_value 'HKLM\Software\Vexwerk\Quilo1' DataDirCreated)" = 0x0 ] || fail "the installer took C:\\ProgramData\\ZEDODER1 for its own"
QUILO1_RECORD='C:\icacls-calls.txt' WINEDLLOVERRIDES="$WINEDLLOVERRIDES;netsh.exe=n" \
  wine64 'C:\Cassa\Quilo1\uninstall.exe' /S /PURGE || fail "uninstall /PURGE from C:\\Cassa\\Quilo1 ended with $?"
wineserver -w
[ ! -e "$C/Cassa/Quilo1" ] || fail "uninstall /PURGE left C:\\Cassa\\Quilo1"
[ -f "$DATA/SR_DATI.003" ] || fail "uninstall /PURGE removed a data directory the installer had not made"
netsh_call 'http delete urlacl url=http://127.0.0.1:9000/'
echo "installer: C:\\Cassa\\Quilo1 locked down (icacls calls), console port 9000 reserved and released (netsh), data directory owned by Administrators; /PURGE kept the one it had not made"
