#!/usr/bin/env bash
# build_hosts.sh HOSTS_DIR WORK_DIR [CXX]
# Builds and runs host programs against an installed copy of the libraries,
# found the way a host finds it (PKG_CONFIG_PATH, CMAKE_PREFIX_PATH and
# LD_LIBRARY_PATH as the caller set them, else the system's):
#   1. host.cpp with pkg-config alone,
#   2. the same with CMake's find_package,
#   3. a GTK+ 2 host that finds gtk+-2.0 itself before TAVGUI.
set -euo pipefail
here=$1; work=$2; cxx=${3:-c++}
export HOME=$work/home
mkdir -p "$HOME"
log=$work/build.log
# Runs a build step quietly; its output is shown when it fails.
quiet() { "$@" >"$log" 2>&1 || { cat "$log"; echo "failed: $*"; exit 1; }; }
# Runs a host and looks for its line (the whole output is read: no early
# close of the pipe).
expect() { local line=$1; shift; "$@" >"$work/out" || exit 1; grep "$line" "$work/out" >/dev/null ||
  { cat "$work/out"; echo "no '$line' from $*"; exit 1; }; }

# shellcheck disable=SC2046
quiet "$cxx" -std=c++17 -o "$work/host-pc" "$here/host.cpp" \
  $(pkg-config --cflags --libs TAVGUI tav tavIntfData TAVData tavDeviceContext)
expect "host program linked" "$work/host-pc"
expect "host program linked" cat "$HOME/TAVLog/hostcheck.log"
echo "host built with pkg-config: ok"

# A GTK host needs nothing but what TAVGUI's pkg-config file gives.
# shellcheck disable=SC2046
quiet "$cxx" -std=c++17 -o "$work/gtk-host-pc" "$here/gtk/gtk-host.cpp" $(pkg-config --cflags --libs TAVGUI)
expect "gtk host linked" env -u DISPLAY "$work/gtk-host-pc"
echo "GTK host built with pkg-config TAVGUI: ok"

quiet cmake -S "$here" -B "$work/cmake-build" -DCMAKE_CXX_COMPILER="$cxx"
quiet cmake --build "$work/cmake-build"
expect "host program linked" "$work/cmake-build/host"
echo "host built with find_package: ok"

quiet cmake -S "$here/gtk" -B "$work/gtk-build" -DCMAKE_CXX_COMPILER="$cxx"
quiet cmake --build "$work/gtk-build"
expect "gtk host linked" env -u DISPLAY "$work/gtk-build/gtk-host"
echo "GTK host built with pkg_check_modules(GTK2) then find_package(TAVGUI): ok"
