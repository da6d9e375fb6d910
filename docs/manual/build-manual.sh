#!/bin/sh
# Builds dodarav1.pdf: the screenshots become PDF pictures for gropdf, and
# groff runs until the contents at the front carry the pages of the last run.
# Usage: build-manual.sh VERSION SOURCE PICTURES_DIR WORK_DIR OUTPUT
set -eu
version=$1 src=$2 pictures=$3 work=$4 out=$5
mkdir -p "$work"
for name in installer-welcome quilo1-window quilo1-about console; do
  img2pdf -o "$work/$name.pdf" "$pictures/$name.png"
done
# Each heading reports itself on stderr as
# "QUILO1TOC level|number|title|page|label"; the next run reads them back as
# the contents and as the chapter numbers that references in the text use. The number of headings does
# not change between runs, so the contents keep their length from the second
# run on and the third one has the right pages; a fourth is only a safety net.
: >"$work/toc.ms"
pass=1
while :; do
  groff -U -Kutf-8 -t -ms -Tpdf -P-pa4 -P-e -dpaper=a4 -dversion="$version" \
        -dpicdir="$work" -dtocfile="$work/toc.ms" "$src" >"$work/out.pdf" 2>"$work/stderr"
  grep -v '^QUILO1TOC ' "$work/stderr" >&2 || true
  sed -n 's/^QUILO1TOC \([0-9]\)|\([^|]*\)|\([^|]*\)|\([0-9]*\)|\([^|]*\)$/.TOCLINE \1 "\2" "\3" \4 "\5"/p' \
      "$work/stderr" >"$work/toc.new"
  [ -s "$work/toc.new" ] || { echo "build-manual.sh: no headings reported" >&2; exit 1; }
  if cmp -s "$work/toc.new" "$work/toc.ms"; then break; fi
  [ "$pass" -lt 5 ] || { echo "build-manual.sh: contents pages do not settle" >&2; exit 1; }
  mv "$work/toc.new" "$work/toc.ms"
  pass=$((pass + 1))
done
mv "$work/out.pdf" "$out"
