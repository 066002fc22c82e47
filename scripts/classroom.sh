#!/usr/bin/env bash
# The real classroom on this machine: tav-classlab starts a Mosquitto broker
# with the class's TLS credentials, tav-teacherd and four student machines
# (each with its own /etc/TAV, /run, host name and system bus, running
# tav-studentd and a listening student application); then a teacher session
# through tavctl lists the students, deploys a lock schedule, locks one,
# searches programs, and takes a student machine off the class and back.
# Everything started is stopped at the end, also on Ctrl-C or failure.
#
#   scripts/classroom.sh [BUILD_DIR]
#
# BUILD_DIR (default build) holds the built programs. Needs root (the
# student machines are namespaces); nothing on the machine is changed.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=$root/build
for arg in "$@"; do
  case $arg in
    -h|--help) sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    -*) echo "classroom: unknown option $arg (see --help)" >&2; exit 2 ;;
    *) build=$(cd "$arg" && pwd) ;;
  esac
done
lab=${TAV_CLASSLAB:-$build/daemons/lab/tav-classlab}
tavctl=${TAVCTL:-$build/tools/tavctl/tavctl}
students=4

# shellcheck source=lib/session.sh
. "$root/scripts/lib/session.sh"

# Outside the lab: start it with this script as its teacher session.
if [ -z "${TAV_LAB_DIR:-}" ]; then
  for program in "$lab" "$tavctl"; do
    [ -x "$program" ] || { echo "classroom: $program is not built (scripts/run.sh builds it)" >&2; exit 2; }
  done
  if [ "$(id -u)" -ne 0 ]; then
    command -v sudo >/dev/null || { echo "classroom: needs root (the student machines are namespaces)" >&2; exit 1; }
    exec sudo TAVCTL="$tavctl" TAV_CLASSLAB="$lab" "$0" "$build"
  fi
  say "=== The main job: a class of $students students on this machine, run by the real daemons"
  started=$(date +%s)
  # tav-classlab stops every machine when the session ends or on Ctrl-C;
  # the session's own waits end with it.
  status=0
  TAVCTL=$tavctl TAV_CLASSLAB=$lab CLASSROOM_STARTED=$started "$lab" --students "$students" --class 5A -- "$0" "$build" || status=$?
  case $status in
    0) say; say "=== done in $(( $(date +%s) - started )) s; the class is stopped" ;;
    130|143) echo "classroom: interrupted; everything it started is stopped" >&2 ;;
    *) echo "classroom: failed (status $status); everything it started is stopped" >&2 ;;
  esac
  exit "$status"
fi

# Inside the lab: the teacher session. DBUS_SYSTEM_BUS_ADDRESS is the
# teacher machine's bus; student S1's files are under $TAV_LAB_DIR/students/S1.
export HOME=$TAV_LAB_DIR/teacher-home
mkdir -p "$HOME"
listener=
trap '[ -z "$listener" ] || kill "$listener" 2>/dev/null; exit 130' INT
trap '[ -z "$listener" ] || kill "$listener" 2>/dev/null; exit 143' TERM

# What student ID's application heard (its JSON lines from line FROM on,
# those matching PATTERN), as "Callback field=value ...".
heard() {
  local id=$1 pattern=$2 from=${3:-1}
  tail -n "+$from" "$TAV_LAB_DIR/students/$id/app.jsonl" 2>/dev/null | grep '"notification"' | grep "$pattern" |
    sed -E -e 's/.*"callback":"([^"]*)",?(.*)\}$/\1 \2/' -e 's/"([A-Za-z]+)":/\1=/g' -e 's/,/ /g' -e 's/ +$//' \
      -e "s/^/    on $id the student application heard: /"
}
# Waits until student ID's application heard PATTERN (from line FROM on;
# at most 10 s).
wait_heard() {
  for _ in $(seq 100); do
    tail -n "+${3:-1}" "$TAV_LAB_DIR/students/$1/app.jsonl" 2>/dev/null | grep -q "$2" && return 0
    sleep 0.1
  done
  return 1
}
# The lock sections in student ID's /etc/TAV/LockSchedule.xml.
lock_sections() {
  grep -o '<LockTimeSection ' "$TAV_LAB_DIR/students/$1/etc-tav/LockSchedule.xml" 2>/dev/null | wc -l
}
# Prints the teacher daemon's notifications while cmd runs (at most 15 s).
with_listener() {
  "$tavctl" teacher listen --timeout 15 >"$TAV_LAB_DIR/listen.out" 2>&1 &
  listener=$!
  for _ in $(seq 100); do grep -q '^listening' "$TAV_LAB_DIR/listen.out" && break; sleep 0.05; done
  "$@"
  sleep 1
  kill "$listener" 2>/dev/null || true
  wait "$listener" 2>/dev/null || true
  listener=
  grep -v '^listening' "$TAV_LAB_DIR/listen.out" | sed 's/^/    /'
}

say "class 5A is in after $(( $(date +%s) - ${CLASSROOM_STARTED:-$(date +%s)} )) s: broker on loopback, tav-teacherd, tav-studentd on S1..S$students"

step "1. The students of the class"
ctl teacher get-student-list

step "2. A lock schedule for every student: Mondays 8-12, Fridays 13-15"
ctl teacher deploy-schedule-policy --all --section MONDAY:8-12 --section FRIDAY:13-15 --expect "$students" --wait 15
# Each student writes it when it applies the policy, about a second after
# it arrived.
for _ in $(seq 50); do [ "$(lock_sections S3)" -gt 0 ] && break; sleep 0.1; done
say "    on S3, /etc/TAV/LockSchedule.xml: $(lock_sections S3) lock sections"

step "3. Lock student S2 now, for 45 minutes"
ctl teacher manual-lock-remote-student --student S2 --locked-time 45 --wait 15
wait_heard S2 '"NotifyLockStatusChanged"' || true
heard S2 '"NotifyLockStatusChanged"' | tail -n 1
ctl teacher get-student-status --student S2

step "4. Search programs on every student; the answers merged"
apps=$TAV_LAB_DIR/applications
write_launchers "$apps"
ctl teacher search-program --folder "$apps" --expect "$students" --wait 20

step "5. S4 drops off (its daemon killed, as a power cut would) and comes back"
seen=$(( $(wc -l <"$TAV_LAB_DIR/students/S4/app.jsonl") + 1 ))
say "\$ tav-classlab student kill S4"
with_listener "$TAV_CLASSLAB" student kill S4
ctl teacher get-student-status --student S4
say "\$ tav-classlab student start S4"
with_listener "$TAV_CLASSLAB" student start S4
ctl teacher get-student-status --student S4
wait_heard S4 '"NotifyTeacherStatusChanged".*"state":1' "$seen" || true
heard S4 . "$seen"
