#!/usr/bin/env bash
# Installs the build into a DESTDIR as the package does, checks the desktop entry,
# the metadata and the manual page, and runs the installed program without a display.
# usage: tst_install.sh BUILD_DIR
set -euo pipefail
dest=$(mktemp -d)
trap 'rm -rf "$dest"' EXIT
DESTDIR="$dest" cmake --install "$1" --prefix /usr >/dev/null
share="$dest/usr/share"
desktop-file-validate "$share/applications/org.quillbern.Quillbern.desktop"
appstreamcli validate --no-net --pedantic "$share/metainfo/org.quillbern.Quillbern.metainfo.xml"
for size in 16 32 48 64 128 256; do
  test -s "$share/icons/hicolor/${size}x${size}/apps/org.quillbern.Quillbern.png"
done
test -s "$share/icons/hicolor/scalable/apps/org.quillbern.Quillbern.svg"

# No display from here on: what needs none must work, the window must say why not.
app=(env -u DISPLAY -u WAYLAND_DISPLAY -u QT_QPA_PLATFORM "$dest/usr/bin/quillbern")
"${app[@]}" --help >"$dest/help" 2>"$dest/help.err"
[ ! -s "$dest/help.err" ] || { echo "--help wrote to stderr:"; cat "$dest/help.err"; exit 1; }
page=$(zcat "$share/man/man1/quillbern.1.gz" | sed 's/\\-/-/g')
for option in $(grep -oE -- '--[a-z][a-z-]*' "$dest/help" | sort -u); do
  grep -qF -- "$option" <<<"$page" || { echo "the manual page lacks $option"; exit 1; }
done

"${app[@]}" --create-database "$dest/office"
test -s "$dest/office/db1.mdb" && test -s "$dest/office/dbtransf.mdb"
made=$(stat -c '%i %s %y' "$dest/office/db1.mdb") # a second run leaves it alone and says why
rc=0
"${app[@]}" --create-database "$dest/office" 2>"$dest/err" || rc=$?
[ "$rc" -eq 1 ] && grep -q "already exists" "$dest/err" && [ "$(stat -c '%i %s %y' "$dest/office/db1.mdb")" = "$made" ] \
  || { echo "a second --create-database: exit $rc"; cat "$dest/err"; exit 1; }
if "${app[@]}" --create-database "" 2>"$dest/err"; then echo "an empty folder was accepted"; exit 1; fi
grep -q "no folder was given" "$dest/err"
rc=0
"${app[@]}" 2>"$dest/err" || rc=$?
[ "$rc" -eq 1 ] && grep -q "no display" "$dest/err" || { echo "without a display: exit $rc"; cat "$dest/err"; exit 1; }
echo "installed tree checked"
