#!/usr/bin/env bash
# tav-man.sh OUT TOOL NAME DESCRIPTION [SUBHELP...]
# Writes the man page of TOOL (installed as NAME) from its --help and
# --version. For each SUBHELP word, "TOOL WORD --help" becomes a section,
# followed by "TOOL WORD COMMAND --help" for every command it lists (lines
# "  command   summary").
set -euo pipefail
out=$1 tool=$2 name=$3 description=$4
shift 4
mkdir -p "$HOME" "$(dirname "$out")"

# Help text as a preformatted roff block.
roff_block() {
  echo ".nf"
  sed -e 's/\\/\\e/g' -e 's/-/\\-/g' -e "s/^\\([.']\\)/\\\\\\&\\1/"
  echo ".fi"
}

include=$(mktemp "${TMPDIR:-/tmp}/tav-man-XXXXXX")
trap 'rm -f "$include"' EXIT
for word in "$@"; do
  help=$("$tool" "$word" --help)
  printf '[%s COMMANDS]\n' "${word^^}" >>"$include"
  printf '%s\n' "$help" | roff_block >>"$include"
  for command in $(printf '%s\n' "$help" | sed -n 's/^  \([a-z][-a-z]*\)  .*/\1/p'); do
    echo ".SS \"$name $word $command\"" >>"$include"
    "$tool" "$word" "$command" --help | roff_block >>"$include"
  done
done
echo "[SEE ALSO]" >>"$include"
others=()
for tool_name in tavctl tav-sim-daemon tav-info; do
  [ "$tool_name" = "$name" ] || others+=(".BR ${tool_name//-/\\-} (1)")
done
(IFS=$'\n'; printf '%s\n' "${others[*]}") | sed '$!s/$/,/' >>"$include"

"${HELP2MAN:-help2man}" --no-info --no-discard-stderr --section=1 --name="$description" \
  --include="$include" --output="$out.tmp" "$tool"
# help2man names the page after the file it ran; the page is NAME's.
sed -i "s/^\\.TH [^ ]*/.TH ${name^^}/" "$out.tmp"
mv "$out.tmp" "$out"
