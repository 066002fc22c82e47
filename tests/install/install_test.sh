#!/usr/bin/env bash
# Installs the build into a temporary root (DESTDIR, prefix /usr), checks
# what went where, then builds and runs host programs against it
# (build_hosts.sh): with pkg-config, with find_package, and as a GTK+ 2
# host that finds GTK itself first.
set -euo pipefail
build=$1; here=$2; cxx=$3; examples=${4:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/tav-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
root=$work/root
fail() { echo "install test: $*"; exit 1; }

DESTDIR=$root cmake --install "$build" --prefix /usr >/dev/null

libdir=$(dirname "$(find "$root" -name 'libTAVData.so' | head -n1)")
[ -n "$libdir" ] || fail "libTAVData.so not installed"
for lib in tavIntfData TAVData tav TAVGUI tavDeviceContext; do
  [ -f "$libdir/pkgconfig/$lib.pc" ] || fail "missing $lib.pc"
  [ -f "$libdir/cmake/$lib/${lib}Config.cmake" ] || fail "missing ${lib}Config.cmake"
  so=$(readlink -f "$libdir/lib$lib.so")
  soname=$(objdump -p "$so" | awk '/SONAME/ {print $2}')
  [ "$soname" = "lib$lib.so.1" ] || fail "lib$lib.so: SONAME '$soname'"
done

# Where the libraries and the bus read, not under the prefix.
[ -f "$root/usr/share/dbus-1/system.d/tav.conf" ] || fail "bus policy not installed"
for f in DefaultConfig.xml image/gui_default_app.png image/About_BG.png; do
  [ -f "$root/etc/TAV/$f" ] || fail "/etc/TAV/$f not installed"
done
[ ! -e "$root/usr/etc" ] || fail "configuration installed under the prefix"
for page in tavctl tav-sim-daemon tav-info; do
  [ -s "$root/usr/share/man/man1/$page.1" ] || fail "man page of $page missing"
  [ -e "$root/usr/share/bash-completion/completions/$page" ] || fail "completion of $page missing"
done

# The device SDK stand-in only when asked for.
[ -z "$(find "$root" -name 'libDcsSdk*')" ] || fail "SDK stand-in installed without being asked for"
DESTDIR=$root cmake --install "$build" --prefix /usr --component dcssdk >/dev/null
[ -f "$libdir/libDcsSdk.so" ] || fail "component dcssdk did not install the SDK stand-in"

export PKG_CONFIG_PATH=$libdir/pkgconfig CMAKE_PREFIX_PATH=$root/usr LD_LIBRARY_PATH=$libdir
"$here/build_hosts.sh" "$here" "$work" "$cxx"

# What the installation gives daemon writers: the protocol header, the
# catalogue and the interface descriptions.
for f in TAVProtocol.h TAVCatalogue.h; do
  [ -f "$root/usr/include/TAV/$f" ] || { echo "$f not installed"; exit 1; }
done
for iface in tav.studentapp.type tav.studentdaemon.type tav.teacherapp.type tav.teacherdaemon.type; do
  grep -q "<interface name=\"$iface\">" "$root/usr/share/dbus-1/interfaces/$iface.xml" ||
    { echo "interface description $iface not installed"; exit 1; }
done

if [ -n "$examples" ]; then
  export LIBRARY_PATH=$libdir
  # The GTK host in the two link forms a GTK program uses, shown under
  # a virtual display.
  "$cxx" -std=c++17 -o "$work/gtk-host-plain" "$examples/gtk-host/host.cpp" $(pkg-config --cflags gtk+-2.0) \
    -I"$root/usr/include/TAV" -lTAVGUI -ltav $(pkg-config --libs gtk+-2.0)
  cmake -S "$examples/gtk-host" -B "$work/gtk-host-cmake" -DCMAKE_PREFIX_PATH="$root/usr" \
    -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
  cmake --build "$work/gtk-host-cmake" >/dev/null
  for host in "$work/gtk-host-plain" "$work/gtk-host-cmake/example-gtk-host"; do
    out=$(xvfb-run -a "$host" 200 2>&1) || { echo "$out"; echo "$host failed"; exit 1; }
    grep -q "dialog shown" <<<"$out" || { echo "$out"; echo "$host showed nothing"; exit 1; }
  done

  # The example daemon with pkg-config alone and with find_package; the
  # first one serves a request on a private bus.
  "$cxx" -std=c++17 -o "$work/daemon-pc" "$examples/daemon/daemon.cpp" \
    $(pkg-config --cflags --libs tav tavIntfData TAVData)
  cmake -S "$examples/daemon" -B "$work/daemon-cmake" -DCMAKE_PREFIX_PATH="$root/usr" \
    -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
  cmake --build "$work/daemon-cmake" >/dev/null
  [ -x "$work/daemon-cmake/example-daemon" ] || { echo "example daemon not built with find_package"; exit 1; }
  sed "s|<listen>.*</listen>|<listen>unix:dir=$work</listen>|" "$here/../../dist/dbus/tav-private-bus.conf" \
    > "$work/bus.conf"
  dbus-daemon --config-file="$work/bus.conf" --nofork --print-address=3 3>"$work/address" &
  bus_pid=$!
  trap 'kill $bus_pid 2>/dev/null; rm -rf "$work"' EXIT
  for _ in $(seq 100); do [ -s "$work/address" ] && break; sleep 0.05; done
  export DBUS_SYSTEM_BUS_ADDRESS=$(head -n1 "$work/address")
  "$work/daemon-pc" 5000 >"$work/daemon.out" 2>&1 &
  daemon_pid=$!
  for _ in $(seq 100); do grep -q serving "$work/daemon.out" && break; sleep 0.05; done
  envelope=$(printf '%-64s%-10s%-64s%-10s' GETCONNECTEDTEACHER 5 null 0)
  out=$(dbus-send --bus="$DBUS_SYSTEM_BUS_ADDRESS" --print-reply --reply-timeout=2000 --dest=tav.student.daemon \
    /orvelix/message/object tav.studentapp.type.GETCONNECTEDTEACHER "string:$envelope" 2>&1)
  kill "$daemon_pid" 2>/dev/null; wait "$daemon_pid" 2>/dev/null
  grep -q 'name="strTeacherID" type="string" value="T1"' <<<"$out" ||
    { echo "$out"; cat "$work/daemon.out"; echo "the example daemon did not answer"; exit 1; }
fi
echo "install test passed"
