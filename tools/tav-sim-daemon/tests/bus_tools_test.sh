#!/usr/bin/env bash
# The bus's own tools against tav-sim-daemon teacher on a private bus with
# the shipped dist/dbus/tav-private-bus.conf: introspection lists every
# teacher request, Ping answers, and a call with a wrong argument gets
# InvalidArgs, each within the short client timeouts given below.
#   bus_tools_test.sh SOURCE_DIR TAV_SIM_DAEMON TEACHER_REQUESTS_XML
set -uo pipefail
src=$1 sim=$2 xml=$3
# shellcheck source=../../common/tests/sim_bus.sh
. "$(dirname "$0")/../../common/tests/sim_bus.sh"
start_bus
start_sim /dev/null teacher

obj=/orvelix/message/object
# busctl's --timeout is in seconds.
if out=$(busctl --address="$address" --timeout=1 introspect tav.teacher.daemon "$obj" 2>&1); then
  for name in $(grep -oE '<(method|signal) name="[A-Z_]+"' "$xml" | cut -d'"' -f2); do
    grep -q "^\.$name " <<<"$out" || fail "busctl introspect does not list $name"
  done
  grep -q '^tav.teacherdaemon.type ' <<<"$out" || fail "busctl introspect does not list the notification interface"
else
  fail "busctl introspect: $out"
fi
out=$(timeout 5 gdbus introspect --address "$address" --dest tav.teacher.daemon --object-path "$obj" 2>&1) ||
  fail "gdbus introspect: $out"
grep -q 'TEACHER_GETSTUDENTLIST' <<<"$out" || fail "gdbus introspect does not list TEACHER_GETSTUDENTLIST"
out=$(busctl --address="$address" --timeout=1 tree tav.teacher.daemon 2>&1)
grep -q "$obj" <<<"$out" || fail "busctl tree does not find $obj: $out"

busctl --address="$address" --timeout=1 call tav.teacher.daemon "$obj" org.freedesktop.DBus.Peer Ping ||
  fail "Peer.Ping got no answer"
out=$(busctl --address="$address" --timeout=1 call tav.teacher.daemon "$obj" \
  org.freedesktop.DBus.Peer GetMachineId 2>&1) || fail "Peer.GetMachineId: $out"

out=$(dbus-send --bus="$address" --print-reply --reply-timeout=2000 --dest=tav.teacher.daemon "$obj" \
  tav.teacherapp.type.TEACHER_GETSTUDENTLIST int32:1 2>&1)
grep -q 'org.freedesktop.DBus.Error.InvalidArgs' <<<"$out" || fail "int32 argument: $out"
out=$(dbus-send --bus="$address" --print-reply --reply-timeout=2000 --dest=tav.teacher.daemon "$obj" \
  tav.teacherapp.type.TEACHER_GETSTUDENTLIST 2>&1)
grep -q 'org.freedesktop.DBus.Error.InvalidArgs' <<<"$out" || fail "no argument: $out"

# A valid request is still served.
kill -0 "$sim_pid" || fail "tav-sim-daemon ended"
if [ "$failures" -ne 0 ]; then
  cat "$tmp/sim.out" "$tmp/sim.err"
  echo "$failures failed"
  exit 1
fi
echo "bus tools test passed"
