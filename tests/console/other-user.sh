#!/bin/sh
# The console as another local user: quilo1 runs as a stand-in for the
# package's user (uid 47112, group 47113 in place of quilo1). A user outside
# that group gets a page without the token and no action; a member reads the
# token with quilo1-console and its login link opens the actions.
#   other-user.sh BUILD_DIR   (as root: it switches users with runuser/setpriv)
set -eu
BUILD=$(cd "$1" && pwd)
if [ "$(id -u)" != 0 ]; then
  echo "SKIP: the console as another user needs root (runuser/setpriv); not run"
  exit 0
fi
OWNER=47112 GROUP=47113
WORK=$(mktemp -d /tmp/quilo1-other-user.XXXXXX)
PID=""
finish() {
  [ -z "$PID" ] || { kill "$PID" 2>/dev/null || true; wait "$PID" 2>/dev/null || true; }
  rm -rf "$WORK"
}
trap finish EXIT
fail() { echo "FAIL: $*"; cat "$WORK/quilo1.log" 2>/dev/null | tail -20; exit 1; }

chmod 0755 "$WORK"
# The users it switches to need not reach the checkout (a clone under a
# 0700 home): the programs run from a copy laid out as in the build tree,
# where quilo1 finds virtual-ecr.
TREE=$WORK/tree
mkdir -p "$TREE/src/service" "$TREE/tools/virtual-ecr" "$TREE/tools/quilo1-console"
cp "$BUILD/src/service/quilo1" "$TREE/src/service/"
cp "$BUILD/tools/virtual-ecr/virtual-ecr" "$TREE/tools/virtual-ecr/"
cp "$BUILD/tools/quilo1-console/quilo1-console" "$TREE/tools/quilo1-console/"
chmod -R a+rX "$TREE"
QUILO1=$TREE/src/service/quilo1
CONSOLE=$TREE/tools/quilo1-console/quilo1-console
PROG=$WORK/prog DATA=$WORK/data
mkdir "$PROG" "$DATA"
PORT=$(python3 -c 'import socket; s=socket.socket(); s.bind(("127.0.0.1",0)); print(s.getsockname()[1])')
printf '1000\r\n' >"$PROG/QLCHKCOM.TXT"
printf '1\r\n%s\r\n' "$PORT" >"$PROG/QLCONSOLE.TXT"
chown -R "$OWNER:$GROUP" "$PROG" "$DATA"
chmod 0755 "$PROG"
chmod 3770 "$DATA"
setpriv --reuid=$OWNER --regid=$GROUP --clear-groups -- \
  "$QUILO1" --program-dir "$PROG" --data-dir "$DATA" --virtual-printer >"$WORK/quilo1.log" 2>&1 &
PID=$!
URL=http://127.0.0.1:$PORT
i=0
until curl -sf -o /dev/null "$URL/api/status"; do
  i=$((i + 1))
  [ $i -lt 100 ] || fail "the console did not answer on $URL"
  sleep 0.1
done
TOKEN=$(cat "$PROG/QLTOKEN.TXT" | tr -d '\r\n')
[ "$(stat -c %a:%u:%g "$PROG/QLTOKEN.TXT")" = "640:$OWNER:$GROUP" ] ||
  fail "QLTOKEN.TXT is $(stat -c %a:%u:%g "$PROG/QLTOKEN.TXT")"
POST='-s -o /dev/null -w %{http_code} -X POST -H Content-Type:application/json --data {"fast":true}'

# nobody is outside the group: it sees the state, never the token, and no action works.
outsider() { runuser -u nobody -- "$@"; }
page=$(outsider curl -sf "$URL/")
echo "$page" | grep -q 'signedIn=false' || fail "the outsider's page is not read-only"
echo "$page" | grep -qF "$TOKEN" && fail "the page holds the token"
[ "$(outsider curl $POST "$URL/api/actions/detection")" = 403 ] || fail "a POST without credential was taken"
[ "$(outsider curl $POST -H "X-Quilo1-Token: 0123456789abcdef0123456789abcdef" "$URL/api/actions/detection")" = 403 ] ||
  fail "a POST with a wrong token was taken"
[ "$(outsider curl -s -o /dev/null -w '%{http_code}' "$URL/login?token=0123456789abcdef0123456789abcdef")" = 403 ] ||
  fail "a wrong login link was taken"
outsider cat "$PROG/QLTOKEN.TXT" >/dev/null 2>&1 && fail "the outsider reads QLTOKEN.TXT"
if outsider "$CONSOLE" --program-dir "$PROG" >"$WORK/out" 2>"$WORK/err"; then fail "quilo1-console worked for the outsider"; fi
grep -q "group quilo1" "$WORK/err" || fail "quilo1-console said: $(cat "$WORK/err")"

# A member of the group: quilo1-console's link gives a session cookie that the actions take.
member() { setpriv --reuid="$(id -u nobody)" --regid="$(id -g nobody)" --groups=$GROUP -- "$@"; }
link=$(member "$CONSOLE" --program-dir "$PROG") || fail "quilo1-console failed for a member"
[ "$link" = "$URL/login?token=$TOKEN" ] || fail "quilo1-console printed $link"
headers=$(member curl -s -D - -o /dev/null "$link")
echo "$headers" | grep -q '^HTTP/1.1 303' || fail "login: $headers"
cookie=$(echo "$headers" | sed -n 's/^Set-Cookie: \([^;]*\);.*/\1/p')
[ -n "$cookie" ] || fail "login gave no cookie: $headers"
[ "$(member curl $POST -H "Cookie: $cookie" -H "Origin: $URL" "$URL/api/actions/detection")" = 200 ] ||
  fail "the session's POST was refused"
member curl -sf -H "Cookie: $cookie" "$URL/" | grep -q 'signedIn=true' || fail "the session's page has no actions"
# --open hands the browser a page only the member reads, never the token on a command line.
RUN=$WORK/run
mkdir -p "$RUN" "$WORK/bin"
chown nobody "$RUN"
chmod 0700 "$RUN"
cat >"$WORK/bin/xdg-open" <<'STANDIN'
#!/bin/sh
echo "$*" >"$XDG_RUNTIME_DIR/argument"
stat -c %a "$1" >"$XDG_RUNTIME_DIR/mode"
cat "$1" >"$XDG_RUNTIME_DIR/page"
STANDIN
chmod 0755 "$WORK/bin/xdg-open"
member env PATH="$WORK/bin:$PATH" XDG_RUNTIME_DIR="$RUN" "$CONSOLE" --program-dir "$PROG" --open ||
  fail "quilo1-console --open failed"
grep -qF "$TOKEN" "$RUN/argument" && fail "the token went on xdg-open's command line"
[ "$(cat "$RUN/mode")" = 600 ] || fail "the page for the browser has mode $(cat "$RUN/mode")"
grep -qF "url=$link" "$RUN/page" || fail "the page for the browser: $(cat "$RUN/page")"
echo "console as another user: outsider read-only and refused (403), quilo1-console's login link works for the group"
