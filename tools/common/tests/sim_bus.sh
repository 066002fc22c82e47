# Sourced by the shell tests of the tools, with src (the source folder) and
# sim (tav-sim-daemon) set: a temporary folder $tmp with the test's HOME, a
# private bus with the shipped private-bus policy (start_bus) and the
# simulated daemon on it (start_sim), all removed or stopped on exit, and
# fail() counting failures.
tmp=$(mktemp -d "${TMPDIR:-/tmp}/tav-tooltest-XXXXXX")
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

# Sets address and DBUS_SYSTEM_BUS_ADDRESS; exits when no bus comes up.
start_bus() {
  dbus-daemon --config-file="$src/dist/dbus/tav-private-bus.conf" --nofork --print-address=3 3>"$tmp/address" &
  bus_pid=$!
  for _ in $(seq 100); do [ -s "$tmp/address" ] && break; sleep 0.05; done
  address=$(head -n1 "$tmp/address")
  [ -n "$address" ] || { echo "FAIL: no private bus"; exit 1; }
  export DBUS_SYSTEM_BUS_ADDRESS=$address
}

# start_sim INPUT ARGS...: the daemon with standard input from INPUT, its
# output in $tmp/sim.out and $tmp/sim.err; exits when it does not get ready.
start_sim() {
  local input=$1; shift
  "$sim" "$@" <"$input" >"$tmp/sim.out" 2>"$tmp/sim.err" &
  sim_pid=$!
  for _ in $(seq 100); do grep -q ready "$tmp/sim.out" && break; sleep 0.05; done
  grep -q ready "$tmp/sim.out" || { cat "$tmp/sim.out" "$tmp/sim.err"; echo "FAIL: tav-sim-daemon did not start"; exit 1; }
}
