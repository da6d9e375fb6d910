#!/bin/sh
# The Debian package: lintian finds no error and no warning; its version is
# the program's; it holds the programs with their manual pages, the manual,
# the service unit and the ports file, and depends on libcurl4, libmicrohttpd12
# and on the libraries it links (versioned as dpkg-shlibdeps finds them); the
# unit passes systemd-analyze verify and its security exposure is 2.5 or
# below; each manual page's options are its program's --help's; postinst
# run into a temporary root with links planted where its directory and a
# settings file go, and a hard link as a settings file, changes nothing
# outside; unpacked there, the daemon started with the unit's own command line and umask
# prints a receipt on the virtual printer and tells a notify socket of ours
# ready, status, alive and stopping; a second copy ends with an error, and
# SIGTERM takes the clean closing path, its settings files still 0644.
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

if command -v lintian >/dev/null 2>&1; then
  # Errors and warnings only (lintian's default display); overrides, each
  # with its reason, are in debian/quilo1.lintian-overrides.
  rc=0; out=$(lintian --fail-on error,warning "$DEB" 2>&1) || rc=$?
  out=$(echo "$out" | grep -v "running with root privileges is not recommended" || true)
  [ $rc -eq 0 ] && [ -z "$out" ] || fail "lintian ($rc): $out"
  echo "deb: lintian: no error, no warning"
else
  fail "lintian missing (scripts/install-deps.sh)"
fi

version=$(sed -n 's/^#define QUILO1_VERSION_\(MAJOR\|MINOR\|REVISION\) \([0-9]*\)$/\2/p' "$SRC/src/service/version.h" |
  paste -sd' ' | awk '{print $1 "." $2 ".0." $3}')
[ "$(dpkg-deb --field "$DEB" Version)" = "$version" ] ||
  fail "package version $(dpkg-deb --field "$DEB" Version), program version $version (debian/changelog)"

contents=$(dpkg-deb --contents "$DEB")
for f in ./usr/bin/quilo1 ./usr/bin/quilo1-convert ./usr/bin/quilo1-submit ./usr/bin/virtual-ecr \
         ./usr/bin/quilo1-console ./usr/share/doc/quilo1/dodarav1.pdf ./lib/systemd/system/quilo1.service \
         ./etc/default/quilo1 ./usr/share/man/man1/quilo1.1.gz ./usr/share/man/man1/quilo1-convert.1.gz \
         ./usr/share/man/man1/quilo1-submit.1.gz ./usr/share/man/man1/quilo1-console.1.gz \
         ./usr/share/man/man1/virtual-ecr.1.gz; do
  echo "$contents" | grep -q " $f\$" || fail "$f not in $DEB"
done
dpkg-deb --info "$DEB" conffiles | grep -qx /etc/default/quilo1 || fail "/etc/default/quilo1 is no conffile"
depends=$(dpkg-deb --field "$DEB" Depends)
for dep in libcurl4 libmicrohttpd12 libsystemd0 "libc6 (>= " "libstdc++6 (>= "; do
  case ", $depends," in *", $dep"*) ;; *) fail "Depends lacks $dep: $depends" ;; esac
done
echo "deb: $(basename "$DEB") version $version, $(wc -c <"$DEB") bytes, files and manual pages present"
echo "deb: Depends: $depends"

ROOT=$WORK/root
dpkg-deb -x "$DEB" "$ROOT"
UNIT=$ROOT/lib/systemd/system/quilo1.service

# Each manual page's OPTIONS name the options its program's --help names, no
# more and no fewer (quilo1 prints its usage for any unknown option).
options() { grep -o -- '--[a-z0-9][a-z0-9-]*' | grep -vx -- '--help' | sort -u; }
for p in quilo1 quilo1-convert quilo1-submit quilo1-console virtual-ecr; do
  helped=$("$ROOT/usr/bin/$p" --help 2>&1 | options) || true
  paged=$(zcat "$ROOT/usr/share/man/man1/$p.1.gz" | sed -n '/^\.SH OPTIONS/,/^\.SH [^O]/p' | sed 's/\\-/-/g' | options)
  [ -n "$helped" ] && [ "$helped" = "$paged" ] ||
    fail "$p: --help names $(echo $helped), its manual page $(echo $paged)"
done
echo "deb: the manual pages name the options of each program's --help"

if command -v systemd-analyze >/dev/null 2>&1 && [ -d /lib/systemd/system ]; then
  # The unit's targets come from this system's systemd; its programs from the package.
  cp -rn /lib/systemd/system/. "$ROOT/lib/systemd/system/"
  out=$(systemd-analyze verify --root="$ROOT" /lib/systemd/system/quilo1.service 2>&1) ||
    fail "systemd-analyze verify: $out"
  [ -z "$out" ] || fail "systemd-analyze verify: $out"
  echo "deb: systemd-analyze verify accepts quilo1.service"
  # 2.5 at most ("threshold" counts tenths).
  exposure=$(systemd-analyze security --offline=true "$UNIT" 2>&1 | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\).*/\1/p')
  systemd-analyze security --offline=true --threshold=25 "$UNIT" >/dev/null 2>&1 ||
    fail "quilo1.service exposure ${exposure:-unknown} is above 2.5"
  echo "deb: systemd-analyze security: exposure $exposure (2.5 or below)"
else
  echo "skip: systemd-analyze not available, quilo1.service not verified, its exposure not measured"
fi

# postinst into ROOT (DPKG_ROOT, as dpkg --root runs it), with the user
# quilo1 played by uid 4242 and the system's tools that would change the
# host replaced by stubs. Links planted in place of the data directory and
# of a settings file point outside; nothing there may change.
dpkg-deb -e "$DEB" "$WORK/control"
STUBS=$WORK/stubs
OUTSIDE=$WORK/outside
mkdir -p "$STUBS" "$OUTSIDE" "$ROOT/var/lib/quilo1"
for tool in getent addgroup adduser deb-systemd-helper deb-systemd-invoke systemctl; do
  printf '#!/bin/sh\necho "%s $*" >>"%s/calls"\n' "$tool" "$WORK" >"$STUBS/$tool"
done
cat >"$STUBS/chown" <<'STUB'
#!/bin/sh
[ "$1" = -h ] && [ "$2" = quilo1:quilo1 ] && exec /bin/chown -h 4242:4242 "$3"
exec /bin/chown "$@"
STUB
chmod +x "$STUBS"/*
: >"$OUTSIDE/secret"
chmod 0600 "$OUTSIDE/secret"
: >"$OUTSIDE/hard"
chmod 0600 "$OUTSIDE/hard"
ln -s "$OUTSIDE" "$ROOT/var/lib/quilo1/data"
ln -s "$OUTSIDE/secret" "$ROOT/var/lib/quilo1/QLCHKCOM.TXT"
ln "$OUTSIDE/hard" "$ROOT/var/lib/quilo1/QLVALIVA.txt"
before=$(stat -c '%a %u:%g' "$OUTSIDE" "$OUTSIDE/secret" "$OUTSIDE/hard")
DPKG_ROOT=$ROOT PATH=$STUBS:$PATH sh "$WORK/control/postinst" configure "" 2>"$WORK/postinst.err" ||
  fail "postinst failed: $(cat "$WORK/postinst.err")"
[ "$(stat -c '%a %u:%g' "$OUTSIDE" "$OUTSIDE/secret" "$OUTSIDE/hard")" = "$before" ] ||
  fail "postinst changed files outside its directories through a planted link"
grep -q "QLVALIVA.txt has more than one hard link" "$WORK/postinst.err" ||
  fail "postinst did not name the hard-linked settings file: $(cat "$WORK/postinst.err")"
rm "$ROOT/var/lib/quilo1/QLVALIVA.txt"
[ ! -L "$ROOT/var/lib/quilo1/data" ] && [ "$(stat -c '%a %u' "$ROOT/var/lib/quilo1/data")" = "3770 4242" ] ||
  fail "data directory: $(stat -c '%F %a %u' "$ROOT/var/lib/quilo1/data")"
for f in QLCHKCOM.TXT QLTIMER1.TXT QLCHKSCO.TXT QLCHKXXS.TXT; do
  [ ! -L "$ROOT/var/lib/quilo1/$f" ] && [ "$(stat -c '%a %u' "$ROOT/var/lib/quilo1/$f")" = "644 4242" ] ||
    fail "settings file $f: $(stat -c '%F %a %u' "$ROOT/var/lib/quilo1/$f")"
done
grep -q "^deb-systemd-invoke start" "$WORK/calls" 2>/dev/null && fail "postinst started the service under DPKG_ROOT"
echo "deb: postinst removed the planted links, left the hard-linked file alone, nothing outside changed; data 3770, settings 0644"

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
mkdir -p "$DATA" "$WORK/run"
# As systemd's RuntimeDirectory= would: the instance lock goes there.
RUNTIME_DIRECTORY=$WORK/run
export RUNTIME_DIRECTORY
printf '1000\r\n' >"$PROG/QLCHKCOM.TXT"
printf '100\r\n' >"$PROG/QLTIMER1.TXT"
"$ROOT/usr/bin/virtual-ecr" --link "$TTY" --paper "$WORK/paper.txt" >"$WORK/virtual-ecr.out" 2>&1 &
PIDS="$!"
i=0; while [ ! -e "$TTY" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
eval "set -- $exec_start"
# The unit's umask, under which settings files once became group-writable.
# systemd's notify socket played by a datagram socket of ours; each message
# on one line, READY=1 marked with whether SR_MATR.001 (the identification's
# file) was already there. A watchdog of 1 s: pings every half second.
NOTIFY=$WORK/notify.sock
python3 - "$NOTIFY" "$WORK/notified" "$DATA/SR_MATR.001" <<'PY' &
import os, socket, sys
s = socket.socket(socket.AF_UNIX, socket.SOCK_DGRAM)
s.bind(sys.argv[1])
with open(sys.argv[2], "a") as out:
    while True:
        m = s.recv(4096).decode("utf-8", "replace")
        if m == "READY=1":
            m += " matr" if os.path.exists(sys.argv[3]) else " no-matr"
        out.write(m + "\n")
        out.flush()
PY
PIDS="$PIDS $!"
i=0; while [ ! -S "$NOTIFY" ] && [ $i -lt 50 ]; do sleep 0.1; i=$((i + 1)); done
NOTIFY_SOCKET=$NOTIFY WATCHDOG_USEC=1000000 sh -c 'umask 0007; WATCHDOG_PID=$$ exec "$@"' sh "$@" 2>"$WORK/quilo1.log" &
DAEMON=$!
PIDS="$PIDS $DAEMON"
wait_for() { i=0; while [ ! -e "$1" ] && [ $i -lt 300 ]; do sleep 0.1; i=$((i + 1)); done; [ -e "$1" ]; }
wait_for "$DATA/SR_MATR.001" || { cat "$WORK/quilo1.log"; fail "no SR_MATR.001"; }
cp "$SRC/samples/receipt.txt" "$DATA/SR_DATI.001"
: >"$DATA/SR_START.001"
wait_for "$DATA/FINESCO.001" || { cat "$DATA/SR_ERR.001" "$WORK/quilo1.log" 2>/dev/null; fail "no FINESCO.001"; }
grep -q "PANE COMUNE" "$WORK/paper.txt" || fail "the receipt is not on the virtual printer's paper"
echo "deb: the installed quilo1 printed the sample receipt (FINESCO.001, paper file)"

[ "$(stat -c %a "$WORK/run/quilo1.lock" 2>/dev/null)" = 600 ] || fail "no 0600 lock file in the runtime directory"
rc=0; "$@" 2>"$WORK/second.log" || rc=$?
[ $rc -ne 0 ] && grep -q "already running" "$WORK/second.log" ||
  fail "a second quilo1 ended with $rc: $(cat "$WORK/second.log")"
echo "deb: a second quilo1 ended with $rc: $(cat "$WORK/second.log")"

kill -TERM "$DAEMON"
rc=0; wait "$DAEMON" || rc=$?
[ $rc -eq 0 ] || fail "quilo1 ended with $rc after SIGTERM"
[ ! -e "$DATA/SR_MATR.001" ] || fail "SIGTERM left SR_MATR.001: not the clean closing path"
[ -s "$PROG/QLCHKSCO.TXT" ] || fail "SIGTERM did not save the settings into $PROG"
# Replaced (QLCHKCOM.TXT) or created (QLVALIVA.txt) under umask 0007: 0644.
for f in QLCHKCOM.TXT QLCHKSCO.TXT QLVALIVA.txt; do
  [ "$(stat -c %a "$PROG/$f")" = 644 ] || fail "settings file $f is $(stat -c %a "$PROG/$f") after the save, not 644"
done
echo "deb: SIGTERM closed quilo1 cleanly (exchange files removed, settings saved)"

# What systemd heard: ready once, after the identification; the state after
# the receipt; pings; stopping at the closing.
sleep 0.3
heard() { grep -c "^$1" "$WORK/notified" || true; }
[ "$(heard 'READY=1')" = 1 ] && grep -qx "READY=1 matr" "$WORK/notified" ||
  fail "READY=1 not once after the identification: $(cat "$WORK/notified")"
sed -n '/^READY=1/,$p' "$WORK/notified" | grep -qx "STATUS=QUILO1 TERMINATO : TUTTO OK" ||
  fail "no STATUS with the receipt's outcome after READY=1: $(cat "$WORK/notified")"
[ "$(heard 'WATCHDOG=1')" -ge 2 ] || fail "fewer than two watchdog pings: $(cat "$WORK/notified")"
# The closing's own waits still ping; nothing else follows STOPPING=1.
[ "$(heard 'STOPPING=1')" = 1 ] && [ -z "$(sed -n '/^STOPPING=1$/,$p' "$WORK/notified" | grep -v -e '^STOPPING=1$' -e '^WATCHDOG=1$')" ] ||
  fail "STOPPING=1 not once at the end: $(cat "$WORK/notified")"
echo "deb: notify socket: READY=1 after the identification, $(heard 'STATUS=') STATUS, $(heard 'WATCHDOG=1') pings, STOPPING=1 at the closing"
