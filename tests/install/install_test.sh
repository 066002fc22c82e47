#!/usr/bin/env bash
# Installs the build into a temporary prefix, then builds and runs a small
# host program against it twice: with pkg-config alone, and with CMake's
# find_package.
set -euo pipefail
build=$1; here=$2; cxx=$3
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
echo "install test passed"
