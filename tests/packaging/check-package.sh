#!/usr/bin/env bash
# The Debian package as a user installs it: it holds the programs, the menu entry, the icon and
# the metadata, declares what it needs, and the installed program starts with the sample plans
# in the user's data directory. Usage: check-package.sh SOURCE_DIR BUILD_DIR
set -euo pipefail
src=$1; build=$2
command -v dpkg-deb >/dev/null || { echo "dpkg-deb is missing: package not checked"; exit 77; }
work=$(mktemp -d); trap 'rm -rf "$work"' EXIT
(cd "$build" && cpack -G DEB -B "$work/out" >"$work/cpack.log" 2>&1) || { cat "$work/cpack.log"; exit 1; }
deb=$(ls "$work"/out/*.deb)
contents=$(dpkg-deb -c "$deb")
for f in ./usr/bin/tovidesk ./usr/bin/tovidesk-cli ./usr/share/applications/org.tovidesk.Tovidesk.desktop \
         ./usr/share/icons/hicolor/48x48/apps/tovidesk.png ./usr/share/icons/hicolor/scalable/apps/tovidesk.svg \
         ./usr/share/metainfo/org.tovidesk.Tovidesk.metainfo.xml ./usr/share/tovidesk/tovi.sdb \
         ./usr/share/doc/tovidesk/tovidesk-monitor.service ./usr/share/doc/tovidesk/copyright \
         ./usr/share/doc/tovidesk/changelog.gz ./usr/share/man/man1/tovidesk.1.gz \
         ./usr/share/man/man1/tovidesk-cli.1.gz; do
  grep -q " $f\$" <<<"$contents" || { echo "missing from the package: $f"; exit 1; }
done
depends=$(dpkg-deb -f "$deb" Depends)
for lib in libcurl libsqlite3 libqt6widgets6 libboost-regex qt6-qpa-plugins fonts-noto-cjk; do
  grep -q "$lib" <<<"$depends" || { echo "not declared: $lib (Depends: $depends)"; exit 1; }
done
if command -v desktop-file-validate >/dev/null; then desktop-file-validate "$src/packaging/org.tovidesk.Tovidesk.desktop"; fi
if command -v appstreamcli >/dev/null; then appstreamcli validate --no-net --pedantic "$src/packaging/org.tovidesk.Tovidesk.metainfo.xml" >/dev/null || appstreamcli validate --no-net "$src/packaging/org.tovidesk.Tovidesk.metainfo.xml"; fi
# Installed (unpacked) where the user cannot write: the files go to the data directory.
dpkg-deb -x "$deb" "$work/root"
chmod 555 "$work/root/usr/bin"
export XDG_DATA_HOME="$work/data"
"$work/root/usr/bin/tovidesk-cli" --version
# The window program answers --version and --help without a display.
version=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$work/root/usr/bin/tovidesk" --version)
grep -q "tovidesk" <<<"$version"
usage=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$work/root/usr/bin/tovidesk" --help)
grep -q -- "--dir" <<<"$usage"
# Started without a display it says how to run headless and exits 1, instead of aborting.
status=0
said=$(env -u DISPLAY -u WAYLAND_DISPLAY QT_QPA_PLATFORM= "$work/root/usr/bin/tovidesk" 2>&1) || status=$?
[ "$status" = 1 ] && grep -q "tovidesk-cli" <<<"$said" || { echo "without a display: exit $status: $said"; exit 1; }
# Hardened: read-only relocations bound at start, a position-independent program.
if command -v readelf >/dev/null; then
  for prog in tovidesk tovidesk-cli; do
    dyn=$(readelf -d "$work/root/usr/bin/$prog")
    grep -q "BIND_NOW\|FLAGS.*NOW" <<<"$dyn" || { echo "$prog: not bound now"; exit 1; }
    hdr=$(readelf -h "$work/root/usr/bin/$prog")
    grep -q "DYN" <<<"$hdr" || { echo "$prog: not position independent"; exit 1; }
  done
fi
# The man pages read as man pages.
zcat "$work/root/usr/share/man/man1/tovidesk-cli.1.gz" | grep -q "^.TH TOVIDESK-CLI 1"
# Stripped: no symbol table left. (Outputs are read whole: grep -q would cut a pipe short.)
if command -v file >/dev/null; then
  kind=$(file "$work/root/usr/bin/tovidesk-cli")
  grep -q "stripped" <<<"$kind" && ! grep -q "not stripped" <<<"$kind" || { echo "not stripped: $kind"; exit 1; }
fi
plans=$("$work/root/usr/bin/tovidesk-cli" plans)
grep -q "1 " <<<"$plans" || { echo "the sample plans did not arrive"; exit 1; }
test -f "$work/data/tovidesk/tovi.sdb"
chmod 755 "$work/root/usr/bin"
echo "package ok: $(basename "$deb")"
