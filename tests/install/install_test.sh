#!/usr/bin/env bash
# Installs the build into a temporary root (DESTDIR, prefix /usr), checks
# what went where, then builds and runs host programs against it
# (build_hosts.sh): with pkg-config, with find_package, and as a GTK+ 2
# host that finds GTK itself first.
set -euo pipefail
build=$1; here=$2; cxx=$3
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
echo "install test passed"
