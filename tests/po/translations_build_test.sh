#!/usr/bin/env bash
# translations_build_test.sh SOURCE_DIR
# The languages of a LINGUAS file are compiled and installed into the
# locale folder the libraries bind; a listed language without a .po stops
# the build.
set -euo pipefail
src=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/tav-po-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "translations build test: $*"; exit 1; }
po=$work/po
mkdir "$po"

configure() { cmake -S "$src/tests/po" -B "$work/build" -DTAV_SOURCE_DIR="$src" -DTAV_PO_DIR="$po" >"$work/log" 2>&1; }

printf '# comment\nxx  # the test language\nyy\n' >"$po/LINGUAS"
cat >"$po/libTAVGUI.xx.po" <<'PO'
msgid ""
msgstr "Content-Type: text/plain; charset=UTF-8\n"

msgid "About Dialog"
msgstr "xx: About"
PO
sed 's/xx: About/yy: About/' "$po/libTAVGUI.xx.po" >"$po/libTAVGUI.yy.po"
cp "$po/libTAVGUI.xx.po" "$po/libTAVData.yy.po"
configure || { cat "$work/log"; fail "configure"; }
cmake --build "$work/build" >"$work/log" 2>&1 || { cat "$work/log"; fail "build"; }
DESTDIR=$work/root cmake --install "$work/build" >/dev/null
for mo in xx/LC_MESSAGES/libTAVGUI.mo yy/LC_MESSAGES/libTAVGUI.mo yy/LC_MESSAGES/libTAVData.mo; do
  [ -f "$work/root/usr/share/locale/$mo" ] || fail "$mo not installed"
done
[ ! -e "$work/root/usr/share/locale/xx/LC_MESSAGES/libTAVData.mo" ] || fail "a catalogue without .po"
msgunfmt "$work/root/usr/share/locale/xx/LC_MESSAGES/libTAVGUI.mo" | grep 'msgstr "xx: About"' >/dev/null ||
  fail "xx catalogue lacks its text"

rm -rf "$work/build"
echo zz >>"$po/LINGUAS"
configure && fail "a language without .po was accepted"
grep -q "lists 'zz' but no" "$work/log" || { cat "$work/log"; fail "no reason given for zz"; }
echo "translations build test passed"
