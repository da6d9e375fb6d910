#!/bin/sh
# The operator's manual as built: a PDF with pages that render, its accented
# letters and apostrophes extracted as written, an example for every verb of
# the command language and every error-file message code.
# Usage: tests/packaging/manual-check.sh PATH/TO/dodarav1.pdf
set -eu
PDF=${1:?path of dodarav1.pdf}
fail() { echo "FAIL: $*"; exit 1; }
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
pdftoppm -r 50 -png -f 1 -l 1 "$PDF" "$WORK/page"
[ -s "$WORK/page-01.png" ] || [ -s "$WORK/page-1.png" ] || fail "page 1 does not render"
echo "manual: $(basename "$PDF"), $pages pages, $(wc -c <"$PDF") bytes, key texts present"
