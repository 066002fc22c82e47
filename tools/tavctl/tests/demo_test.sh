#!/usr/bin/env bash
# The simulator's demonstration end to end: scripts/demo.sh with the built
# tools on its own private bus. Checks the session's output, that everything the script
# started is gone afterwards (also after Ctrl-C and after a failure), and
# that its temporary folder is removed.
#   demo_test.sh SOURCE_DIR TAVCTL TAV_SIM_DAEMON
set -uo pipefail
src=$1
export TAVCTL=$2 TAV_SIM_DAEMON=$3
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tav-demo-test-XXXXXX")
trap 'pkill -KILL -f "$tmp" 2>/dev/null; rm -rf "$tmp"' EXIT
# Everything the demonstration starts has this folder in its command line.
export TMPDIR=$tmp
unset DBUS_SYSTEM_BUS_ADDRESS
# shellcheck source=../../../tests/support/checks.sh
. "$src/tests/support/checks.sh"

leftovers() {
  local n
  for _ in $(seq 50); do
    pgrep -f "$tmp/tav-demo-" >/dev/null || break
    sleep 0.1
  done
  if pgrep -af "$tmp/tav-demo-"; then fail "$1: processes left running"; fi
  n=$(find "$tmp" -mindepth 1 -maxdepth 1 -name 'tav-demo-*' | wc -l)
  [ "$n" -eq 0 ] || fail "$1: temporary folder left behind"
}

# 1. The whole session.
start=$(date +%s)
out=$("$src/scripts/demo.sh" 2>&1)
status=$?
echo "$out"
[ "$status" -eq 0 ] || fail "the demonstration exited with $status"
expect_lines "$out" \
  '$ tavctl teacher get-student-list' \
  '    students: 4' \
  '    request: TEACHER_DEPLOYSCHEDULEPOLICYLIST students=S1 S2 S3 S4' \
  '    lock-sections: 6 hours: MONDAY 8-12, FRIDAY 13-15' \
  '    notification: DeploySchedulePolicyCallBack("S4", true)' \
  '    request: TEACHER_MANUALLOCKREMOTESTUDENT student=S2' \
  '    notification: ManualLockRemotStudentCallBack("S2", 0)' \
  '    request: TEACHER_SEARCHPROGRAM folder='"$tmp"'/tav-demo-*' \
  '    notification: SearchProgramCallBack("S3", 4 programs)' \
  '    merged: 4 programs from 4 answers' \
  '    program: "Web Browser" firefox-esr'
grep -q 'locked=1' <<<"$out" || fail "S2 is not shown locked after the lock"
[ $(( $(date +%s) - start )) -lt 60 ] || fail "the demonstration took a minute or more"
leftovers "after the session"

# 2. Ctrl-C in the middle: the terminal's signal reaches the whole group.
# (A background job of a script starts with SIGINT ignored: undo that.)
setsid env --default-signal=INT "$src/scripts/demo.sh" >"$tmp/interrupted.out" 2>&1 &
pid=$!
# Interrupted while step 2 waits for the students' answers (they come a
# second after tavctl starts at the soonest).
for _ in $(seq 400); do grep -q '^    sent' "$tmp/interrupted.out" && break; sleep 0.02; done
grep -q '^    sent' "$tmp/interrupted.out" || fail "the interrupted run did not get to step 2"
kill -INT -- -"$pid"
wait "$pid"
status=$?
[ "$status" -eq 130 ] || fail "an interrupted demonstration exited with $status, not 130"
grep -q "demo: interrupted; everything it started is stopped" "$tmp/interrupted.out" || fail "no message after Ctrl-C"
grep -q "    tavctl: interrupted: only " "$tmp/interrupted.out" || fail "tavctl's last words lost after Ctrl-C"
leftovers "after Ctrl-C"

# 3. A daemon that does not start: a clear message, the bus stopped.
out=$(TAV_SIM_DAEMON=/bin/false "$src/scripts/demo.sh" 2>&1)
status=$?
[ "$status" -eq 1 ] || fail "a daemon that does not start gave status $status"
grep -q "the simulated teacher daemon did not start" <<<"$out" || fail "no message for a daemon that does not start"
leftovers "after a failed start"

[ "$failures" -eq 0 ] && echo "demonstration: all checks passed"
exit $(( failures > 0 ))
