#!/usr/bin/env bash
# The main job end to end: scripts/classroom.sh with the built programs, a
# class of four on this machine. Checks the session's output, that it stays
# under a minute, and that nothing it started is left (processes and the
# lab's folder) after the session, after Ctrl-C and after a failed start.
#   main_job_test.sh SOURCE_DIR BUILD_DIR
set -uo pipefail
src=$1 build=$2
if [ "$(id -u)" -ne 0 ]; then
  echo "the classroom needs root (namespaces): skipped"
  exit 77
fi
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tav-mainjob-test-XXXXXX")
# Every process of the lab inherits TMPDIR (or has the folder on its
# command line): that is how leftovers are found.
export TMPDIR=$tmp
unset DBUS_SYSTEM_BUS_ADDRESS TAV_LAB_DIR
# shellcheck source=support/checks.sh
. "$src/tests/support/checks.sh"

# The lab's processes: they have the folder in their command line or
# environment and are not this script's own (its subshells, grep).
ours() {
  local f p q
  for f in /proc/[0-9]*/cmdline /proc/[0-9]*/environ; do
    grep -qaF "$tmp" "$f" 2>/dev/null || continue
    p=${f%/*}; p=${p#/proc/}; q=$p
    while [ -n "$q" ] && [ "$q" -gt 1 ] && [ "$q" -ne $$ ]; do
      q=$(awk '{print $4}' "/proc/$q/stat" 2>/dev/null)
    done
    [ "$q" = $$ ] || echo "$p"
  done | sort -u
}
cleanup() {
  local p
  for p in $(ours); do kill -KILL "$p" 2>/dev/null; done
  rm -rf "$tmp"
}
trap cleanup EXIT

leftovers() {
  local left
  for _ in $(seq 50); do
    left=$(ours)
    [ -z "$left" ] && break
    sleep 0.1
  done
  [ -z "$left" ] || fail "$1: processes left running: $(for p in $left; do tr '\0' ' ' <"/proc/$p/cmdline"; echo; done)"
  [ -z "$(find "$tmp" -mindepth 1 -maxdepth 1 -name 'tav-classlab-*')" ] || fail "$1: the lab's folder left behind"
}

# 1. The whole session.
start=$(date +%s)
out=$("$src/scripts/classroom.sh" "$build" 2>&1)
status=$?
echo "$out"
[ "$status" -eq 0 ] || fail "the classroom exited with $status"
expect_lines "$out" \
  '    students: 4' \
  '    student: S3 user="" host=S3 * status=1' \
  '    answers: 4 of 4' \
  '    on S3, /etc/TAV/LockSchedule.xml: 6 lock sections' \
  '    notification: ManualLockRemotStudentCallBack("S2", 0)' \
  '    on S2 the student application heard: NotifyLockStatusChanged locked=true' \
  '    student: S2 * locked=1 *' \
  '    merged: 4 programs from 4 answers' \
  '    program: "Web Browser" firefox-esr' \
  '    notification: NotifyStudentStatusChanged("S4", 0)' \
  '    student: S4 * status=0' \
  '    notification: NotifyStudentStatusChanged("S4", 1)' \
  '    on S4 the student application heard: NotifyTeacherStatusChanged teacherID="5A" state=1' \
  '=== done in * s; the class is stopped'
[ $(( $(date +%s) - start )) -lt 60 ] || fail "the classroom took a minute or more"
leftovers "after the session"

# 2. Ctrl-C in the middle (the terminal's signal reaches the foreground
# group; a background job of a script starts with SIGINT ignored: undo that).
setsid env --default-signal=INT "$src/scripts/classroom.sh" "$build" >"$tmp/interrupted.out" 2>&1 &
pid=$!
for _ in $(seq 600); do grep -q -- '^--- 3' "$tmp/interrupted.out" && break; sleep 0.05; done
grep -q -- '^--- 3' "$tmp/interrupted.out" || fail "the interrupted run did not get to step 3"
kill -INT -- -"$pid"
wait "$pid"
status=$?
[ "$status" -eq 130 ] || fail "an interrupted classroom exited with $status, not 130"
grep -q "classroom: interrupted; everything it started is stopped" "$tmp/interrupted.out" ||
  fail "no message after Ctrl-C: $(cat "$tmp/interrupted.out")"
leftovers "after Ctrl-C"

# 3. A teacher daemon that does not start: a clear message, nothing left.
mkdir -p "$tmp/bad"
printf '#!/bin/sh\nexit 1\n' >"$tmp/bad/tav-teacherd"
chmod +x "$tmp/bad/tav-teacherd"
out=$(TAV_LAB_TEACHERD=$tmp/bad/tav-teacherd "$src/scripts/classroom.sh" "$build" 2>&1)
status=$?
[ "$status" -ne 0 ] || fail "a teacher daemon that does not start gave status 0"
grep -q "tav-classlab: tav-teacherd ended" <<<"$out" || fail "no message for a teacher daemon that does not start: $out"
grep -q "classroom: failed (status $status); everything it started is stopped" <<<"$out" ||
  fail "no closing message after a failed start"
leftovers "after a failed start"

[ "$failures" -eq 0 ] && echo "main job: all checks passed"
exit $(( failures > 0 ))
