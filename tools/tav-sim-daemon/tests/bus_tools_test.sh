#!/usr/bin/env bash
# The bus's own tools against tav-sim-daemon teacher on a private bus with
# the shipped dist/dbus/tav-private-bus.conf: introspection lists every
# teacher request, Ping answers, and a call with a wrong argument gets
# InvalidArgs, each within the short client timeouts given below.
#   bus_tools_test.sh SOURCE_DIR TAV_SIM_DAEMON TEACHER_REQUESTS_XML
set -uo pipefail
src=$1 sim=$2 xml=$3
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tav-bustools-XXXXXX")
bus_pid='' sim_pid=''
cleanup() {
  [ -n "$sim_pid" ] && kill "$sim_pid" 2>/dev/null && wait "$sim_pid" 2>/dev/null
  [ -n "$bus_pid" ] && kill "$bus_pid" 2>/dev/null && wait "$bus_pid" 2>/dev/null
  rm -rf "$tmp"
}
trap cleanup EXIT
export HOME=$tmp/home
mkdir -p "$HOME"
failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

dbus-daemon --config-file="$src/dist/dbus/tav-private-bus.conf" --nofork --print-address=3 3>"$tmp/address" &
bus_pid=$!
for _ in $(seq 100); do [ -s "$tmp/address" ] && break; sleep 0.05; done
address=$(head -n1 "$tmp/address")
[ -n "$address" ] || { echo "FAIL: no private bus"; exit 1; }
export DBUS_SYSTEM_BUS_ADDRESS=$address

"$sim" teacher </dev/null >"$tmp/sim.out" 2>&1 &
sim_pid=$!
for _ in $(seq 100); do grep -q ready "$tmp/sim.out" && break; sleep 0.05; done
grep -q ready "$tmp/sim.out" || { cat "$tmp/sim.out"; echo "FAIL: tav-sim-daemon did not start"; exit 1; }

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
  cat "$tmp/sim.out"
  echo "$failures failed"
  exit 1
fi
echo "bus tools test passed"
