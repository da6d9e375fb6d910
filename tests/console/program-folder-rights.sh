#!/bin/sh
# Quilo1 as a user who may not create files in its program folder, as on a
# Windows install run without administrator rights: the folder is root's,
# the settings files and the token's file were given to the user (as the
# installer gives them). The console comes up, an option and the timer
# changed from it are saved, and nothing new appears in the folder.
#   program-folder-rights.sh BUILD_DIR   (as root: it switches users with setpriv)
set -eu
BUILD=$(cd "$1" && pwd)
if [ "$(id -u)" != 0 ]; then
  echo "SKIP: a program folder the user may not write needs root (setpriv); not run"
  exit 0
fi
OWNER=47112 GROUP=47113
WORK=$(mktemp -d /tmp/quilo1-folder-rights.XXXXXX)
PID=""
finish() {
  [ -z "$PID" ] || { kill "$PID" 2>/dev/null || true; wait "$PID" 2>/dev/null || true; }
  rm -rf "$WORK"
}
trap finish EXIT
fail() { echo "FAIL: $*"; tail -20 "$WORK/quilo1.log" 2>/dev/null; exit 1; }

chmod 0755 "$WORK"
# The programs from a copy the user can reach, laid out as in the build tree.
TREE=$WORK/tree
mkdir -p "$TREE/src/service" "$TREE/tools/virtual-ecr"
cp "$BUILD/src/service/quilo1" "$TREE/src/service/"
cp "$BUILD/tools/virtual-ecr/virtual-ecr" "$TREE/tools/virtual-ecr/"
chmod -R a+rX "$TREE"
PROG=$WORK/prog DATA=$WORK/data
mkdir "$PROG" "$DATA"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
# Empty settings files read as the defaults, as the installer leaves them.
for f in QLCHKCOM.TXT QLTIMER1.TXT QLCHKSCO.TXT QLCHKXXS.TXT QLVALIVA.txt QLTOKEN.TXT; do
  : >"$PROG/$f"
  chown "$OWNER:$GROUP" "$PROG/$f"
done
printf '1000\r\n' >"$PROG/QLCHKCOM.TXT"
printf '1\r\n%s\r\n' "$PORT" >"$PROG/QLCONSOLE.TXT"
chmod 0640 "$PROG/QLTOKEN.TXT"
chown root:root "$PROG"
chmod 0755 "$PROG"
chown "$OWNER:$GROUP" "$DATA"
ls -A "$PROG" | sort >"$WORK/before"
setpriv --reuid=$OWNER --regid=$GROUP --clear-groups -- \
  "$TREE/src/service/quilo1" --program-dir "$PROG" --data-dir "$DATA" --virtual-printer >"$WORK/quilo1.log" 2>&1 &
PID=$!
URL=http://127.0.0.1:$PORT
i=0
until curl -sf -o /dev/null "$URL/api/status"; do
  i=$((i + 1))
  [ $i -lt 100 ] || fail "the console did not answer on $URL"
  sleep 0.1
done
TOKEN=$(tr -d '\r\n' <"$PROG/QLTOKEN.TXT")
[ ${#TOKEN} = 32 ] || fail "QLTOKEN.TXT holds '$TOKEN'"
[ "$(stat -c %a "$PROG/QLTOKEN.TXT")" = 640 ] || fail "QLTOKEN.TXT has mode $(stat -c %a "$PROG/QLTOKEN.TXT")"
post() {
  code=$(curl -s -o "$WORK/answer" -w '%{http_code}' -X POST -H "X-Quilo1-Token: $TOKEN" \
    -H 'Content-Type: application/json' --data "$2" "$URL/api/actions/$1")
  [ "$code" = 200 ] || fail "POST $1 $2: $code $(cat "$WORK/answer")"
}
post detection '{"fast":true}'
post timer '{"value":"7"}'
[ "$(cat "$PROG/QLTIMER1.TXT")" = "$(printf '7\r\n')" ] || fail "QLTIMER1.TXT: $(od -c "$PROG/QLTIMER1.TXT")"
# The options are saved at the closing.
kill -TERM "$PID"
wait "$PID" || true
PID=""
grep -q '^F' "$PROG/QLCHKSCO.TXT" || fail "fast detection not saved: $(od -c "$PROG/QLCHKSCO.TXT" | head -5)"
[ "$(head -c 4 "$PROG/QLCHKCOM.TXT")" = 1000 ] || fail "QLCHKCOM.TXT: $(cat "$PROG/QLCHKCOM.TXT")"
grep -q "Impossibile scrivere" "$WORK/quilo1.log" && fail "a settings file was not written"
ls -A "$PROG" | sort | diff "$WORK/before" - >/dev/null || fail "new names in the program folder: $(ls -A "$PROG")"
# The token survives the restart: the same file, read again.
echo "program folder the user may not write: console up, token and settings written in place, nothing new in the folder"
