#!/bin/sh
# The operator's manual as built: a PDF with pages that render, its accented
# letters and apostrophes extracted as written, the contents at the front,
# the screenshots in it, an example for every verb of the command language,
# and every error-file message and window status text the program has (read
# from the program's sources, so a new one cannot go undocumented).
# Each part carries its own running head, every font is embedded, and with
# a build directory the recipes of the test chapter run as the PDF prints
# them (a folder of the check in place of /tmp).
# Usage: tests/packaging/manual-check.sh PATH/TO/dodarav1.pdf [BUILD_DIR]
set -eu
PDF=${1:?path of dodarav1.pdf}
BUILD=${2:+$(cd "$2" && pwd)}
SRC=$(cd "$(dirname "$0")/../../src" && pwd)
RECIPE_PID=""
fail() {
  echo "FAIL: $*"
  [ -z "$RECIPE_PID" ] || kill -- -"$RECIPE_PID" 2>/dev/null || true
  exit 1
}
[ -s "$PDF" ] || fail "$PDF missing or empty"
pages=$(pdfinfo "$PDF" | sed -n 's/^Pages: *//p')
[ "${pages:-0}" -ge 10 ] || fail "$PDF has ${pages:-no} pages"
WORK=$(mktemp -d)
trap 'rm -rf "$WORK"' EXIT
pdftotext -enc UTF-8 "$PDF" "$WORK/text"
for s in "Manuale dell'operatore" "può" "Compatibilità" "perché" "Più porte" \
         "E503: Scontrino aperto, chiudere e riavviare l'esecuzione" \
         "Errore generico sull'Ecr, verificare sul manuale del registratore" \
         "QLPOSURL.TXT" "Annulla Scontrino" "Quilo1-Setup-" "quilo1-convert" "virtual-ecr"; do
  grep -qF "$s" "$WORK/text" || fail "\"$s\" not in the manual"
done
for code in E501 E502 E503 E504 E505 E506 E507 E508 E509 E096 E1 E601 E602 E603 E604 \
            "Errore 12" "Errore 29" "Errore 99" "Errore:"; do
  grep -q "^$code:\? " "$WORK/text" || grep -q "^$code: *$" "$WORK/text" ||
    fail "error message $code not in the manual"
done
for verb in SALE PLUD DISC MAGG COUP ADDI COST ADDS DOST MOST SUBT CASH CHEQ CARD BANC \
            CRED TEND TICK OPFS CLFS LOTT RLPR PRNT EXTL CLER DISP OPEN OPNF CLNF NDCR \
            DELD DEPO PREL ZKEY XKEY FUNC QRCO BARC READ PAGA; do
  grep -q "^$verb[,;]" "$WORK/text" || fail "no example of $verb in the manual"
done

# The contents at the front, not at the end.
pdftotext -enc UTF-8 -f 2 -l 3 "$PDF" "$WORK/front"
pdftotext -enc UTF-8 -f "$pages" -l "$pages" "$PDF" "$WORK/last"
grep -q '^Indice$' "$WORK/front" || fail "no contents (Indice) on page 2 or 3"
! grep -q '^Indice$' "$WORK/last" || fail "the contents are on the last page"

# The screenshots.
images=$(pdfimages -list "$PDF" | awk 'NR > 2' | wc -l)
[ "$images" -ge 3 ] || fail "$images pictures in the manual, expected at least 3"

# Texts of the program, taken from its sources. Blanks are compared
# collapsed: the PDF does not keep runs of blanks or line ends.
flat() { tr '\n' ' ' | tr -s ' ' | sed 's/^ //; s/ $//'; }
flat <"$WORK/text" >"$WORK/flat"
strings_of() { grep -ho '"[^"]*"' "$@" | sed 's/^"//; s/"$//; s/\\xE8/è/g'; }
# The program's own files, not its tests.
sources() { for f in "$@"; do case "$f" in *_test.cc | *_bench.cc) ;; *) echo "$f" ;; esac; done; }
check_texts() {
  while IFS= read -r t; do
    t=$(printf '%s' "$t" | flat)
    [ "${#t}" -ge 4 ] || continue
    grep -qF -- "$t" "$WORK/flat" || fail "$1 \"$t\" not in the manual"
  done
}
# Error-file messages: every "Ennn: ..." text of the service, the printer
# layer and the card payment, and the message column of the outcome table.
{
  sources "$SRC"/service/*.cc "$SRC"/ecr/*.cc "$SRC"/payment/*.cc "$SRC"/payment/*.h | xargs cat | strings_of - |
    grep -E '^E[0-9]+: '
  grep -E '^ *\{(kOutcome|payment::)' "$SRC/service/outcome.cc" | strings_of - | sed -n '2~2p'
  grep -E '^ *"[^"]*"\},' "$SRC/service/outcome.cc" | strings_of -
  grep 'kGeneric\[\] =' "$SRC/service/outcome.cc" | strings_of -
} | grep -v '^$' | sort -u >"$WORK/messages"
[ "$(wc -l <"$WORK/messages")" -ge 20 ] || fail "only $(wc -l <"$WORK/messages") messages found in the sources"
check_texts "error message" <"$WORK/messages"
# Window status texts: the display column of the outcome table and what the
# job service and the dump show.
{
  grep -E '^ *\{(kOutcome|payment::)' "$SRC/service/outcome.cc" | strings_of - | sed -n '1~2p'
  grep 'return {"' "$SRC/service/outcome.cc" | strings_of -
  sources "$SRC"/service/*.cc | xargs cat |
    grep -E 'ProgramStatus\(|DetectionStatus\(|DumpState\(|PrinterMessage\(|ClosingNotice\(' | strings_of -
  grep -E 'k(NoDumpYet|IdleTip|BusyTip)\[\] =' "$SRC/service/job_service.cc" | strings_of -
  grep 'kDumpDone =' "$SRC/ecr/dump.h" | strings_of -
  grep -A2 '^std::string DumpFailureField' "$SRC/ecr/dump.cc" | strings_of -
} | grep -v '^$' | sort -u >"$WORK/status"
[ "$(wc -l <"$WORK/status")" -ge 25 ] || fail "only $(wc -l <"$WORK/status") status texts found in the sources"
check_texts "status text" <"$WORK/status"

# No heading alone at the foot of a page: the headings and their pages come
# from the contents; on its page a heading must not be the last line above
# the page number.
pdftotext -enc UTF-8 -layout -f 2 -l 3 "$PDF" - |
  sed -n '/\.\.\./!d; s/^ *\([0-9][0-9]*\(\.[0-9][0-9]*\)*\)\.\{0,1\} .*[^0-9]\([0-9][0-9]*\) *$/\1|\3/p' \
  >"$WORK/headings"
[ "$(wc -l <"$WORK/headings")" -ge 10 ] || fail "contents unreadable: $(wc -l <"$WORK/headings") headings"
while IFS='|' read -r number page; do
  last=$(pdftotext -enc UTF-8 -layout -f "$page" -l "$page" "$PDF" - |
         grep -v '^[[:space:]]*$' | grep -vE '^[[:space:]]*(-|–) *[0-9]+ *(-|–)[[:space:]]*$' | tail -n 1)
  case "$(printf '%s' "$last" | sed 's/^ *//')" in
    "$number. "*) fail "heading $number ends page $page" ;;
  esac
  # Nor a single line of the text before it carried to the top of its page.
  top=$(pdftotext -enc UTF-8 -layout -f "$page" -l "$page" "$PDF" - | grep -v '^[[:space:]]*$' | sed -n '2,3p')
  case "$(printf '%s\n' "$top" | sed -n 2p | sed 's/^ *//')" in
    "$number. "*)
      case "$(printf '%s\n' "$top" | sed -n 1p | sed 's/^ *//')" in
        [0-9]*.\ * | Parte* | Figura:*) ;;
        *) fail "a single line carried to the top of page $page, above heading $number" ;;
      esac ;;
  esac
done <"$WORK/headings"

# The running head of each part: the parts' pages come from the contents.
first_page() { sed -n "s/^ *$1.*[^0-9]\([0-9][0-9]*\) *\$/\1/p" "$WORK/front-layout" | head -n 1; }
pdftotext -enc UTF-8 -layout -f 2 -l 3 "$PDF" "$WORK/front-layout"
part1=$(first_page "Parte prima")
part2=$(first_page "Parte seconda")
[ -n "$part1" ] && [ -n "$part2" ] && [ "$part1" -lt "$part2" ] || fail "parts not in the contents ($part1, $part2)"
p=$part1
while [ "$p" -le "$pages" ]; do
  head=$(pdftotext -enc UTF-8 -layout -f "$p" -l "$p" "$PDF" - | grep -v '^[[:space:]]*$' | head -n 1)
  if [ "$p" -lt "$part2" ]; then want="Manuale dell'operatore"; else want="Manuale dell'integratore"; fi
  case "$head" in
    *"$want") ;;
    *) fail "page $p: running head \"$head\", not \"$want\"" ;;
  esac
  p=$((p + 1))
done

# Every font embedded, so the PDF prints the same everywhere.
pdffonts "$PDF" | awk 'NR > 2 && $(NF - 4) != "yes"' >"$WORK/loose"
[ ! -s "$WORK/loose" ] || fail "fonts not embedded: $(cat "$WORK/loose")"
fonts=$(pdffonts "$PDF" | awk 'NR > 2' | wc -l)

# The recipes of the test chapter, as printed: quilo1-convert on a
# document, then virtual-ecr and quilo1 started as the recipe says and the
# fault lines sent through the control file, the last of which ends the
# printer while quilo1 stays up.
recipes="not run (no build directory)"
if [ -n "$BUILD" ]; then
  R=$WORK/r
  mkdir -p "$R/convert"
  PATH="$BUILD/tools/virtual-ecr:$BUILD/tools/quilo1-convert:$BUILD/src/service:$PATH"
  line=$(grep -m 1 '^quilo1-convert --rt-mode' "$WORK/text") || fail "no quilo1-convert example"
  cp "$SRC/../samples/receipt.txt" "$R/convert/SR_DATI.001"
  (cd "$R/convert" && sh -c "$line") >"$R/convert.out" 2>&1 || fail "\"$line\" failed: $(cat "$R/convert.out")"
  grep -q . "$R/convert.out" || fail "\"$line\" printed nothing"
  sed -n '/^mkdir -p \/tmp\/prova/,/--com 1=\/tmp\/ecr.tty &$/p' "$WORK/text" | sed "s|/tmp/|$R/|g" >"$R/start.sh"
  [ "$(wc -l <"$R/start.sh")" -ge 3 ] || fail "the virtual-ecr recipe is not in the manual: $(cat "$R/start.sh")"
  grep '^echo ".*" >> /tmp/ecr.ctl' "$WORK/text" | sed "s|/tmp/|$R/|g" >"$R/faults.sh"
  grep -q '"quit"' "$R/faults.sh" || fail "the fault lines are not in the manual"
  printf 'wait\n' >>"$R/start.sh"
  setsid sh "$R/start.sh" >"$R/recipe.log" 2>&1 &
  RECIPE_PID=$!
  i=0
  until [ -s "$R/prova/dati/SR_MATR.001" ]; do
    i=$((i + 1))
    [ $i -lt 150 ] || fail "no SR_MATR.001 after the recipe: $(tail -5 "$R/recipe.log")"
    sleep 0.1
  done
  sh "$R/faults.sh" || fail "the fault lines failed"
  i=0
  while ps -o comm= -g "$RECIPE_PID" | grep -q '^virtual-ecr'; do
    i=$((i + 1))
    [ $i -lt 100 ] || fail "virtual-ecr did not take the fault lines: $(tail -5 "$R/recipe.log")"
    sleep 0.1
  done
  ps -o comm= -g "$RECIPE_PID" | grep -q '^quilo1$' || fail "quilo1 ended with the printer: $(tail -5 "$R/recipe.log")"
  kill -- -"$RECIPE_PID" 2>/dev/null || true
  RECIPE_PID=""
  recipes="quilo1-convert and virtual-ecr recipes run as printed"
fi

pdftoppm -r 50 -png -f 1 -l 1 "$PDF" "$WORK/page"
[ -s "$WORK/page-01.png" ] || [ -s "$WORK/page-1.png" ] || fail "page 1 does not render"
echo "manual: $(basename "$PDF"), $pages pages, $(wc -c <"$PDF") bytes, $images pictures," \
     "$(wc -l <"$WORK/messages") messages and $(wc -l <"$WORK/status") status texts present," \
     "running heads of both parts, $fonts fonts embedded, $recipes"
