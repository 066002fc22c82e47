#!/usr/bin/env bash
# Regenerates the message templates from the sources:
#   po/libTAVGUI.pot   texts of the dialogs (Tr("...") and N_("..."))
#   po/libTAVData.pot  texts of the data tools (Translate("...") and N_("..."))
# Translators start from these with msginit, and update with msgmerge.
#
#   scripts/update-pot.sh           rewrite the templates
#   scripts/update-pot.sh --check   fail when the templates differ from what
#                                   the sources give (creation date aside)
set -euo pipefail
cd "$(dirname "$0")/.."

check=0
case "${1:-}" in
  "") ;;
  --check) check=1 ;;
  *) echo "usage: $0 [--check]" >&2; exit 2 ;;
esac

# extract <domain> <output> <keyword...> -- <folder...>
extract() {
  local domain=$1 out=$2 keywords=() folders=()
  shift 2
  while [ "$1" != "--" ]; do keywords+=("--keyword=$1"); shift; done
  shift
  folders=("$@")
  # File names only in the locations: moving code does not change the
  # template, changing a text does.
  find "${folders[@]}" \( -name '*.cpp' -o -name '*.h' \) | LC_ALL=C sort |
    xgettext --files-from=- --language=C++ --from-code=UTF-8 \
      --add-location=file --sort-by-file --add-comments=TRANSLATORS: \
      --package-name=TAV --package-version=1.0.0 \
      --copyright-holder="the TAV developers" --msgid-bugs-address="the TAV developers" \
      --default-domain="$domain" "${keywords[@]}" --output="$out"
}

generate() {
  local dir=$1
  extract libTAVGUI "$dir/libTAVGUI.pot" Tr N_ -- gui/src gui/include
  extract libTAVData "$dir/libTAVData.pot" Translate N_ -- data/src data/include
}

if [ $check -eq 0 ]; then
  generate po
  echo "updated po/libTAVGUI.pot po/libTAVData.pot"
  exit 0
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/tav-pot-XXXXXX")
trap 'rm -rf "$work"' EXIT
generate "$work"
status=0
for pot in libTAVGUI.pot libTAVData.pot; do
  if ! diff -u <(grep -v '^"POT-Creation-Date:' "po/$pot" 2>/dev/null) \
               <(grep -v '^"POT-Creation-Date:' "$work/$pot"); then
    echo "po/$pot is out of date with the sources: run scripts/update-pot.sh" >&2
    status=1
  fi
done
exit $status
