#!/bin/sh
# The README's first five minutes, as printed: its run line in the
# background, then its submit line with the sample receipt once the printer
# is identified; the answer must be the receipt's data (status 0).
# Run from anywhere; the lines run in the checkout's root, as the README
# says. The demo directory build/demo starts empty.
set -eu
cd "$(dirname "$0")/../.."
fail() { echo "FAIL: $*"; exit 1; }

# The indented command lines of the README's "Commands" section.
commands=$(sed -n '/^## Commands$/,/^## /p' README.md | sed -n 's/^    \([^ ].*\)$/\1/p')
run=$(echo "$commands" | grep -m1 '^scripts/run\.sh$') || fail "no 'scripts/run.sh' line under ## Commands"
submit=$(echo "$commands" | grep -m1 'quilo1-submit .*samples/receipt\.txt') ||
  fail "no quilo1-submit line with samples/receipt.txt under ## Commands"
echo "readme: $run"
echo "readme: $submit"

rm -rf build/demo
LOG=$(mktemp)
PID=""
finish() {
  [ -z "$PID" ] || kill "$PID" 2>/dev/null || true
  rm -f "$LOG"
}
trap finish EXIT
# run.sh ends by exec-ing quilo1: this pid is the program's.
sh -c "exec $run" >"$LOG" 2>&1 &
PID=$!
i=0
while ! grep -q "COM1 Dump: DUMP ESEGUITO" "$LOG"; do
  kill -0 "$PID" 2>/dev/null || { cat "$LOG"; fail "the run line ended"; }
  [ $i -lt 1800 ] || { cat "$LOG"; fail "no 'COM1 Dump: DUMP ESEGUITO' within 180 s"; }
  sleep 0.1
  i=$((i + 1))
done

rc=0
answer=$(sh -c "$submit") || rc=$?
[ $rc -eq 0 ] || { cat "$LOG"; fail "the submit line ended with $rc"; }
[ -n "$answer" ] || fail "the submit line printed no receipt data"
grep -q "PANE COMUNE" build/demo/data/virtual-ecr-paper.txt || fail "the receipt is not on the virtual printer's paper"
echo "readme: the submit line answered $(echo "$answer" | wc -l) lines of receipt data; the receipt is on the paper"

kill -TERM "$PID"
rc=0
wait "$PID" || rc=$?
PID=""
[ $rc -eq 0 ] || { cat "$LOG"; fail "quilo1 ended with $rc after SIGTERM"; }
echo "readme: quilo1 closed cleanly"
