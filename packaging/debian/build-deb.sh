#!/bin/sh
# Builds the Debian package from the built programs and the manual:
#   build-deb.sh OUT.deb VERSION ARCH MANUAL QUILO1 QUILO1_CONVERT QUILO1_SUBMIT VIRTUAL_ECR QUILO1_CONSOLE
set -eu
OUT=$1 VERSION=$2 ARCH=$3 MANUAL=$4
shift 4
HERE=$(cd "$(dirname "$0")" && pwd)
STAGE=$(mktemp -d "$(dirname "$OUT")/deb-stage.XXXXXX")
trap 'rm -rf "$STAGE"' EXIT
ROOT=$STAGE/root
install -d "$ROOT/DEBIAN" "$ROOT/usr/bin" "$ROOT/usr/share/doc/quilo1" \
  "$ROOT/lib/systemd/system" "$ROOT/etc/default"
for program in "$@"; do
  install -m 0755 "$program" "$ROOT/usr/bin/"
  strip --strip-unneeded --remove-section=.comment "$ROOT/usr/bin/$(basename "$program")"
done
install -m 0644 "$MANUAL" "$ROOT/usr/share/doc/quilo1/dodarav1.pdf"
install -m 0644 "$HERE/copyright" "$ROOT/usr/share/doc/quilo1/copyright"
install -m 0644 "$HERE/quilo1.service" "$ROOT/lib/systemd/system/quilo1.service"
install -m 0644 "$HERE/quilo1.default" "$ROOT/etc/default/quilo1"
install -m 0755 "$HERE/postinst" "$HERE/prerm" "$HERE/postrm" "$ROOT/DEBIAN/"
echo /etc/default/quilo1 >"$ROOT/DEBIAN/conffiles"

# The libraries' packages, as dpkg-shlibdeps finds them on this system; and
# libcurl4, which quilo1 loads by itself at the first card payment.
mkdir "$STAGE/debian"
: >"$STAGE/debian/control"
libs=$(cd "$STAGE" && dpkg-shlibdeps -O root/usr/bin/*)
libs=${libs#shlibs:Depends=}

cat >"$ROOT/DEBIAN/control" <<CONTROL
Package: quilo1
Version: $VERSION
Architecture: $ARCH
Maintainer: Vexwerk
Section: misc
Priority: optional
Depends: $libs, libcurl4, adduser, init-system-helpers
Installed-Size: $(du -sk --exclude=DEBIAN "$ROOT" | cut -f1)
Description: prints host applications' documents on Custom RT fiscal printers
 Quilo1 watches a data directory for documents that shop and restaurant
 software writes in its command language (and XonXoff or OPFS inputs),
 converts them into the printer's native protocol and prints them on a
 Custom RT fiscal printer on a serial or USB port, answering with result
 files. The package runs it as the service quilo1.service and brings
 quilo1-convert, quilo1-submit (a document in, the answer out, from the
 command line), quilo1-console (the web console's login link, for the
 group quilo1) and the virtual printer virtual-ecr for tests without
 hardware. Operator's manual (Italian): /usr/share/doc/quilo1/dodarav1.pdf.
CONTROL
dpkg-deb --root-owner-group -Zxz --build "$ROOT" "$OUT" >/dev/null
