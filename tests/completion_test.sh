#!/usr/bin/env bash
# completion_test.sh COMPLETION_SCRIPT TOOL_DIR...
# Bash completion of tavctl, tav-sim-daemon and tav-info, with the built
# tools first on PATH.
set -uo pipefail
script=$1; shift
for dir in "$@"; do PATH=$dir:$PATH; done
export HOME=$(mktemp -d "${TMPDIR:-/tmp}/tav-completion-XXXXXX")
trap 'rm -rf "$HOME"' EXIT
# shellcheck disable=SC1090
. "$script"
failed=0 passed=0

# expect "WORDS..." "EXPECTED REPLIES": the last word is the one completed.
expect() {
  read -r -a COMP_WORDS <<<"$1"
  [[ $1 == *" " ]] && COMP_WORDS+=("")
  COMP_CWORD=$((${#COMP_WORDS[@]} - 1))
  _tav_complete
  if [ "${COMPREPLY[*]}" = "$2" ]; then
    passed=$((passed + 1))
  else
    echo "FAIL: '$1' completed to '${COMPREPLY[*]}', expected '$2'"
    failed=$((failed + 1))
  fi
}

expect "tavctl " "teacher student"
expect "tavctl --" "--bus --verbose --json --result-status --help --version"
expect "tavctl --bus unix:path=/x --verbose teacher deploy-s" "deploy-schedule-policy"
# Options of every command are taken anywhere: their values are skipped.
expect "tavctl teacher --bus unix:path=/x deploy-s" "deploy-schedule-policy"
expect "tavctl teacher kick-off-student --json --st" "--student"
expect "tavctl teacher deploy-schedule-policy --auto-lock " "on off"
expect "tavctl teacher deploy-schedule-policy --file /etc/host" "$(compgen -f /etc/host | tr '\n' ' ' | sed 's/ $//')"
expect "tavctl nobody " ""
expect "tav-sim-daemon " "teacher student"
expect "tav-sim-daemon teacher " ""
expect "tav-sim-daemon teacher --step-ms 5 --cl" "--class"
expect "tav-info --c" "--check"

# Every command a side lists completes, and every option of each command.
for side in teacher student; do
  listed=$(tavctl "$side" --help | sed -n 's/^  \([a-z][-a-z]*\)  .*/\1/p')
  [ "$(echo "$listed" | wc -l)" -gt 10 ] || { echo "FAIL: $side lists too few commands"; failed=$((failed + 1)); }
  expect "tavctl $side " "$(echo $listed)"
  for command in $listed; do
    options=$(tavctl "$side" "$command" --help | sed -n 's/^  \(-[a-z], \)\{0,1\}\(--[a-z][-a-z]*\).*/\2/p')
    expect "tavctl $side $command --" "$(echo $options)"
  done
done

echo "$passed passed, $failed failed"
[ "$failed" -eq 0 ]
