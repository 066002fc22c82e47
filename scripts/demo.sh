#!/usr/bin/env bash
# The demonstration: a bus, the simulated teacher daemon with a class of
# students, and a short teacher session through tavctl. Every request and
# every notification is printed as it happens; everything started here is
# stopped at the end, also on Ctrl-C or failure.
#
#   scripts/demo.sh [--system] [BUILD_DIR]
#
# BUILD_DIR (default build) holds the built tools. Without --system the
# bus is a private dbus-daemon with dist/dbus/tav-private-bus.conf: nothing
# needs to be installed and nothing on the machine is touched. --system uses
# the machine's system bus instead (run as root, with dist/dbus/tav.conf
# installed in the bus's system.d folder).
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
usage() { sed -n '2,13p' "$0" | sed 's/^# \{0,1\}//'; }

system=0
build=
for arg in "$@"; do
  case $arg in
    --system) system=1 ;;
    -h|--help) usage; exit 0 ;;
    -*) echo "demo: unknown option $arg (see --help)" >&2; exit 2 ;;
    *) [ -z "$build" ] || { echo "demo: one build folder only (see --help)" >&2; exit 2; }
       build=$arg ;;
  esac
done
build=${build:-$root/build}
tavctl=${TAVCTL:-$build/tools/tavctl/tavctl}
daemon=${TAV_SIM_DAEMON:-$build/tools/tav-sim-daemon/tav-sim-daemon}
for program in "$tavctl" "$daemon"; do
  [ -x "$program" ] || { echo "demo: $program is not built (build the tools first: scripts/run.sh does)" >&2; exit 2; }
done

students=4
started=$(date +%s)
work=$(mktemp -d "${TMPDIR:-/tmp}/tav-demo-XXXXXX")
bus_pid=
daemon_pid=

# Stops what was started, in reverse order: the daemon first (it releases
# its name), then the bus.
cleanup() {
  local status=$?
  trap - EXIT INT TERM HUP
  if [ -n "$daemon_pid" ] && kill -0 "$daemon_pid" 2>/dev/null; then
    echo quit >&7 2>/dev/null || true
    for _ in $(seq 50); do kill -0 "$daemon_pid" 2>/dev/null || break; sleep 0.1; done
    kill -TERM "$daemon_pid" 2>/dev/null || true
    wait "$daemon_pid" 2>/dev/null || true
  fi
  if [ -n "$bus_pid" ]; then
    kill -TERM "$bus_pid" 2>/dev/null || true
    wait "$bus_pid" 2>/dev/null || true
  fi
  if [ "$status" -ge 129 ] && [ "$status" -le 143 ]; then
    echo >&2
    echo "demo: interrupted; everything it started is stopped" >&2
  elif [ "$status" -ne 0 ]; then
    echo >&2
    echo "demo: failed (status $status); everything it started is stopped" >&2
    if [ -s "$work/daemon.out" ]; then
      echo "demo: the last lines of the simulated daemon (its whole log is gone with its folder):" >&2
      grep -v '  TRACE:   ' "$work/daemon.out" | tail -n 15 | sed 's/^/  /' >&2
    fi
  fi
  rm -rf "$work"
  exit "$status"
}
trap cleanup EXIT
trap 'exit 130' INT
trap 'exit 143' TERM
trap 'exit 129' HUP

# The demonstration's logs go to a throwaway home.
export HOME=$work/home
mkdir -p "$HOME"

# shellcheck source=lib/session.sh
. "$root/scripts/lib/session.sh"

say "=== The simulator: a teacher session against the simulated teacher daemon"

if [ "$system" -eq 1 ]; then
  unset DBUS_SYSTEM_BUS_ADDRESS
  say "bus: the machine's system bus"
else
  : >"$work/bus.address"
  # In a session of its own, as the daemon below: Ctrl-C at the terminal
  # reaches the script and tavctl, and the script stops these two itself.
  setsid dbus-daemon --config-file="$root/dist/dbus/tav-private-bus.conf" \
    --address="unix:path=$work/bus" --nofork --nopidfile --print-address=3 \
    3>"$work/bus.address" 2>"$work/bus.err" &
  bus_pid=$!
  for _ in $(seq 100); do
    [ -s "$work/bus.address" ] && break
    kill -0 "$bus_pid" 2>/dev/null || break
    sleep 0.1
  done
  if [ ! -s "$work/bus.address" ]; then
    echo "demo: the private bus did not start:" >&2
    sed 's/^/  /' "$work/bus.err" >&2
    exit 1
  fi
  export DBUS_SYSTEM_BUS_ADDRESS
  DBUS_SYSTEM_BUS_ADDRESS=$(head -n 1 "$work/bus.address")
  say "bus: a private bus at $DBUS_SYSTEM_BUS_ADDRESS"
fi

# The daemon's standard input stays open (its commands come from there);
# its output goes to a file, shown if something fails.
mkfifo "$work/daemon.in"
exec 7<>"$work/daemon.in"
setsid "$daemon" teacher --students "$students" --step-ms 100 --log tav-demo-daemon \
  <&7 >"$work/daemon.out" 2>&1 &
daemon_pid=$!
for _ in $(seq 100); do
  grep -q "ready as tav.teacher.daemon" "$work/daemon.out" 2>/dev/null && break
  kill -0 "$daemon_pid" 2>/dev/null || break
  sleep 0.1
done
if ! grep -q "ready as tav.teacher.daemon" "$work/daemon.out" 2>/dev/null; then
  echo "demo: the simulated teacher daemon did not start" >&2
  if [ "$system" -eq 1 ]; then
    echo "demo: on the system bus it needs the bus running, root, and dist/dbus/tav.conf installed" >&2
  fi
  exit 1
fi
say "daemon: tav-sim-daemon teacher --students $students (a simulated class)"

# A few launchers to search for: each simulated student lists this folder.
apps=$work/applications
write_launchers "$apps"

step "1. The students of the class"
ctl teacher get-student-list

step "2. A lock schedule for every student: Mondays 8-12, Fridays 13-15"
ctl teacher deploy-schedule-policy --all --section MONDAY:8-12 --section FRIDAY:13-15 --wait 15

step "3. Lock student S2 now, for 45 minutes"
ctl teacher manual-lock-remote-student --student S2 --locked-time 45 --wait 15
ctl teacher get-student-status --student S2

step "4. Search programs on every student; the answers merged"
ctl teacher search-program --folder "$apps" --expect "$students" --wait 20

say
say "=== done in $(( $(date +%s) - started )) s; the daemon and the bus are stopped"
