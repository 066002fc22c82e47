#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds and runs a small
# host program against it twice: with pkg-config alone, and with CMake's
# find_package.
set -euo pipefail
build=$1; here=$2; cxx=$3; examples=${4:-}
work=$(mktemp -d "${TMPDIR:-/tmp}/tav-install-XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix

cmake --install "$build" --prefix "$prefix" >/dev/null

libdir=$(dirname "$(find "$prefix" -name 'libTAVData.so' | head -n1)")
[ -n "$libdir" ] || { echo "libTAVData.so not installed"; exit 1; }
for lib in tavIntfData TAVData tav TAVGUI tavDeviceContext; do
  [ -f "$libdir/pkgconfig/$lib.pc" ] || { echo "missing $lib.pc"; exit 1; }
  [ -f "$libdir/cmake/$lib/${lib}Config.cmake" ] || { echo "missing ${lib}Config.cmake"; exit 1; }
  so=$(readlink -f "$libdir/lib$lib.so")
  soname=$(objdump -p "$so" | awk '/SONAME/ {print $2}')
  [ "$soname" = "lib$lib.so.1" ] || { echo "lib$lib.so: SONAME '$soname'"; exit 1; }
done

[ -f "$prefix/share/dbus-1/system.d/tav.conf" ] || { echo "bus policy not installed"; exit 1; }
[ -f "$prefix/etc/TAV/DefaultConfig.xml" ] && [ -f "$prefix/etc/TAV/image/gui_default_app.png" ] &&
  [ -f "$prefix/etc/TAV/image/About_BG.png" ] || { echo "configuration folder not installed"; exit 1; }

export PKG_CONFIG_PATH=$libdir/pkgconfig
export HOME=$work/home
mkdir -p "$HOME"

# 1. pkg-config alone.
# shellcheck disable=SC2046
"$cxx" -std=c++17 -o "$work/host-pc" "$here/host.cpp" \
  $(pkg-config --cflags --libs TAVGUI tav tavIntfData TAVData tavDeviceContext)
LD_LIBRARY_PATH=$libdir "$work/host-pc" > "$work/out-pc"
grep -q "host program linked" "$work/out-pc"
grep -q "host program linked" "$HOME/TAVLog/hostcheck.log"

# 2. find_package.
cmake -S "$here" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" \
  -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
LD_LIBRARY_PATH=$libdir "$work/cmake-build/host" > "$work/out-cmake"
grep -q "host program linked" "$work/out-cmake"

# 3. What the installation gives daemon writers: the protocol header, the
# catalogue and the interface descriptions.
for f in TAVProtocol.h TAVCatalogue.h; do
  [ -f "$prefix/include/TAV/$f" ] || { echo "$f not installed"; exit 1; }
done
for iface in tav.studentapp.type tav.studentdaemon.type tav.teacherapp.type tav.teacherdaemon.type; do
  grep -q "<interface name=\"$iface\">" "$prefix/share/dbus-1/interfaces/$iface.xml" ||
    { echo "interface description $iface not installed"; exit 1; }
done

if [ -n "$examples" ]; then
  export LD_LIBRARY_PATH=$libdir LIBRARY_PATH=$libdir
  # 4. The GTK host in the two link forms a GTK program uses, shown under
  # a virtual display.
  "$cxx" -std=c++17 -o "$work/gtk-host-plain" "$examples/gtk-host/host.cpp" $(pkg-config --cflags gtk+-2.0) \
    -I"$prefix/include/TAV" -lTAVGUI -ltav $(pkg-config --libs gtk+-2.0)
  cmake -S "$examples/gtk-host" -B "$work/gtk-host-cmake" -DCMAKE_PREFIX_PATH="$prefix" \
    -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
  cmake --build "$work/gtk-host-cmake" >/dev/null
  for host in "$work/gtk-host-plain" "$work/gtk-host-cmake/example-gtk-host"; do
    out=$(xvfb-run -a "$host" 200 2>&1) || { echo "$out"; echo "$host failed"; exit 1; }
    grep -q "dialog shown" <<<"$out" || { echo "$out"; echo "$host showed nothing"; exit 1; }
  done

  # 5. The example daemon with pkg-config alone and with find_package; the
  # first one serves a request on a private bus.
  "$cxx" -std=c++17 -o "$work/daemon-pc" "$examples/daemon/daemon.cpp" \
    $(pkg-config --cflags --libs tav tavIntfData TAVData)
  cmake -S "$examples/daemon" -B "$work/daemon-cmake" -DCMAKE_PREFIX_PATH="$prefix" \
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
