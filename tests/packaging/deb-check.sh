#!/bin/sh
# The Debian package: it holds the programs, the manual, the service unit and
# the ports file; the unit passes systemd-analyze; unpacked into a temporary
# root, the daemon started with the unit's own command line prints a receipt
# on the virtual printer and SIGTERM takes the clean closing path.
# Usage: tests/packaging/deb-check.sh NATIVE_BUILD_DIR
set -eu
BUILD=${1:?native build directory}
SRC=$(cd "$(dirname "$0")/../.." && pwd)
set -- "$BUILD"/packaging/quilo1_*.deb
[ $# -eq 1 ] && [ -f "$1" ] || { echo "FAIL: no single quilo1_*.deb in $BUILD/packaging"; exit 1; }
DEB=$1
WORK=$(mktemp -d)
PIDS=""
finish() {
  for p in $PIDS; do kill "$p" 2>/dev/null || true; done
  rm -rf "$WORK"
}
trap finish EXIT
fail() { echo "FAIL: $*"; exit 1; }

contents=$(dpkg-deb --contents "$DEB")
for f in ./usr/bin/quilo1 ./usr/bin/quilo1-convert ./usr/bin/virtual-ecr \
         ./usr/share/doc/quilo1/dodarav1.pdf ./lib/systemd/system/quilo1.service \
         ./etc/default/quilo1; do
  echo "$contents" | grep -q " $f\$" || fail "$f not in $DEB"
done
dpkg-deb --info "$DEB" conffiles | grep -qx /etc/default/quilo1 || fail "/etc/default/quilo1 is no conffile"
echo "deb: $(basename "$DEB"), $(wc -c <"$DEB") bytes, files present"

ROOT=$WORK/root
dpkg-deb -x "$DEB" "$ROOT"
UNIT=$ROOT/lib/systemd/system/quilo1.service

if command -v systemd-analyze >/dev/null 2>&1 && [ -d /lib/systemd/system ]; then
  # The unit's targets come from this system's systemd; its programs from the package.
  cp -rn /lib/systemd/system/. "$ROOT/lib/systemd/system/"
  out=$(systemd-analyze verify --root="$ROOT" /lib/systemd/system/quilo1.service 2>&1) ||
    fail "systemd-analyze verify: $out"
  [ -z "$out" ] || fail "systemd-analyze verify: $out"
  echo "deb: systemd-analyze verify accepts quilo1.service"
else
  echo "skip: systemd-analyze not available, quilo1.service not verified"
fi

"$ROOT/usr/bin/quilo1-convert" "$SRC/samples/receipt.txt" >"$WORK/KB.txt" ||
  fail "installed quilo1-convert refused the sample receipt"

# The daemon as the unit starts it, with the package's paths moved into ROOT
# and the ports file's variable naming the virtual printer.
TTY=$WORK/com1.tty
. "$ROOT/etc/default/quilo1"
[ -n "${QUILO1_PORTS:-}" ] || fail "/etc/default/quilo1 sets no QUILO1_PORTS"
QUILO1_PORTS="--com 1=$TTY"
exec_start=$(sed -n 's/^ExecStart=//p' "$UNIT")
[ -n "$exec_start" ] || fail "no ExecStart in quilo1.service"
exec_start=$(echo "$exec_start" | sed -e "s#/usr/bin/#$ROOT/usr/bin/#" -e "s#/var/lib/quilo1#$ROOT/var/lib/quilo1#g")
PROG=$ROOT/var/lib/quilo1
DATA=$PROG/data
mkdir -p "$DATA"
printf '1000\r\n' >"$PROG/QLCHKCOM.TXT"
printf '100\r\n' >"$PROG/QLTIMER1.TXT"
"$ROOT/usr/bin/virtual-ecr" --link "$TTY" --paper "$WORK/paper.txt" >"$WORK/virtual-ecr.out" 2>&1 &
PIDS="$!"
i=0; while [ ! -e "$TTY" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
eval "set -- $exec_start"
"$@" 2>"$WORK/quilo1.log" &
DAEMON=$!
PIDS="$PIDS $DAEMON"
wait_for() { i=0; while [ ! -e "$1" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done; [ -e "$1" ]; }
wait_for "$DATA/SR_MATR.001" || { cat "$WORK/quilo1.log"; fail "no SR_MATR.001"; }
cp "$SRC/samples/receipt.txt" "$DATA/SR_DATI.001"
: >"$DATA/SR_START.001"
wait_for "$DATA/FINESCO.001" || { cat "$DATA/SR_ERR.001" "$WORK/quilo1.log" 2>/dev/null; fail "no FINESCO.001"; }
grep -q "PANE COMUNE" "$WORK/paper.txt" || fail "the receipt is not on the virtual printer's paper"
echo "deb: the installed quilo1 printed the sample receipt (FINESCO.001, paper file)"

kill -TERM "$DAEMON"
rc=0; wait "$DAEMON" || rc=$?
[ $rc -eq 0 ] || fail "quilo1 ended with $rc after SIGTERM"
[ ! -e "$DATA/SR_MATR.001" ] || fail "SIGTERM left SR_MATR.001: not the clean closing path"
[ -s "$PROG/QLCHKSCO.TXT" ] || fail "SIGTERM did not save the settings into $PROG"
echo "deb: SIGTERM closed quilo1 cleanly (exchange files removed, settings saved)"
