#!/usr/bin/env bash
# package_test.sh [SOURCE_DIR]
# Builds the Debian packages from a scratch copy of the sources, checks what
# each one holds, runs lintian, then installs them into a throwaway overlay
# of this machine's root (private mount namespace, root only) and there:
# checks the installation with tav-info, reads a man page, completes a
# command line, builds host programs with pkg-config and find_package, and
# lets a vendor's SDK package take the stand-in's place; last, runs the
# README's walk-through for administrators on two more overlays
# (walkthrough.sh). The machine itself is not changed. Prints the time of
# each step.
set -euo pipefail
src=$(cd "${1:-$(dirname "$0")/../..}" && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/tav-package-XXXXXX")
trap 'rm -rf "$work"' EXIT
fail() { echo "package test: $*" >&2; exit 1; }
start=$SECONDS
step() { echo "--- $* ($((SECONDS - start)) s)"; }

libs=(tavIntfData:libtavintfdata1 TAVData:libtavdata1 tav:libtav1 TAVGUI:libtavgui1
      tavDeviceContext:libtavdevicecontext1)

# 1. Build, from a copy: dpkg-buildpackage writes beside the source folder.
step "building the packages"
mkdir "$work/src"
tar -C "$src" --exclude='./build*' --exclude=./.git --exclude='./obj-*' -cf - . | tar -C "$work/src" -xf -
project_version=$(sed -n 's/^project(TAV VERSION \([0-9.]*\).*/\1/p' "$src/CMakeLists.txt")
package_version=$(cd "$work/src" && dpkg-parsechangelog -S Version)
[ "$project_version" = "$package_version" ] ||
  fail "debian/changelog has $package_version, CMakeLists.txt $project_version"
build_start=$SECONDS
(cd "$work/src" && dpkg-buildpackage -us -uc -b -j"$(nproc)") >"$work/build.log" 2>&1 ||
  { tail -n 60 "$work/build.log"; fail "dpkg-buildpackage failed"; }
echo "package build: $((SECONDS - build_start)) s"

# 2. lintian: no error, every warning overridden (with its reason) in debian/.
step "lintian"
lintian --fail-on error,warning "$work"/tav_*.changes 2>&1 |
  grep -v "^running with root privileges" >"$work/lintian.log" ||
  { [ "${PIPESTATUS[0]}" -eq 0 ] || { cat "$work/lintian.log"; fail "lintian"; }; }
echo "lintian: $(grep -c . "$work/lintian.log") lines left (informational)"
cat "$work/lintian.log"

mkdir "$work/debs"
mv "$work"/*.deb "$work/debs/"
rm -f "$work"/debs/*-dbgsym_*.deb
deb() { ls "$work"/debs/"$1"_*.deb; }
contents() { dpkg-deb -c "$(deb "$1")" | awk '{print substr($6, 2)}'; }

# 3. Contents.
step "checking the contents"
for p in "$work"/debs/*.deb; do
  name=$(dpkg-deb -f "$p" Package)
  contents "$name" >"$work/$name.files"
done
for entry in "${libs[@]}"; do
  lib=${entry%%:*} pkg=${entry##*:}
  grep -qx "/usr/lib/.*/lib$lib.so.1.0.0" "$work/$pkg.files" || fail "$pkg lacks lib$lib.so.1.0.0"
  [ "$(grep -c '\.so' "$work/$pkg.files")" = 2 ] || fail "$pkg holds more than lib$lib.so.1"
  owners=$(grep -l "/lib$lib\.so\.1" "$work"/*.files | xargs -n1 basename)
  [ "$owners" = "$pkg.files" ] || fail "lib$lib.so.1 is in: $owners"
  grep -qx "/usr/lib/.*/lib$lib.so" "$work/libtav-dev.files" || fail "libtav-dev lacks lib$lib.so"
  grep -qx "/usr/lib/.*/pkgconfig/$lib.pc" "$work/libtav-dev.files" || fail "libtav-dev lacks $lib.pc"
  grep -qx "/usr/lib/.*/cmake/$lib/${lib}Config.cmake" "$work/libtav-dev.files" ||
    fail "libtav-dev lacks ${lib}Config.cmake"
done
[ "$(grep -l 'libDcsSdk' "$work"/*.files | xargs -n1 basename)" = libdcssdk-standin.files ] ||
  fail "libDcsSdk.so is not in libdcssdk-standin alone"
# Nothing may need the stand-in itself: only as an alternative.
for p in "$work"/debs/*.deb; do
  for field in Depends Pre-Depends; do
    dpkg-deb -f "$p" "$field" | tr ',' '\n' | grep -qx ' *libdcssdk-standin\( (.*)\)\? *' &&
      fail "$(basename "$p") $field on libdcssdk-standin without an alternative"
  done
done
grep -q '^/usr/include/TAV/IPCAPIManager.h$' "$work/libtav-dev.files" || fail "headers missing"
dpkg-deb --ctrl-tarfile "$(deb tav-common)" | tar -xOf - ./conffiles >"$work/conffiles"
grep -qx /etc/TAV/DefaultConfig.xml "$work/conffiles" || fail "DefaultConfig.xml is no conffile"
for png in $(grep '^/etc/TAV/image/.*\.png$' "$work/tav-common.files"); do
  grep -qx "$png" "$work/conffiles" || fail "$png is no conffile"
done
grep -qx /usr/share/dbus-1/system.d/tav.conf "$work/tav-common.files" || fail "bus policy missing"
for tool in tavctl tav-sim-daemon tav-info; do
  for f in /usr/bin/$tool /usr/share/man/man1/$tool.1.gz /usr/share/bash-completion/completions/$tool; do
    grep -qx "$f" "$work/tav-tools.files" || fail "tav-tools lacks $f"
  done
done
# The daemons: program, man page, systemd unit and configuration (a
# conffile) each; the teacher's also the class set-up and broker templates.
for side in teacherd studentd; do
  pkg=tav-$side
  for f in /usr/sbin/$pkg /usr/share/man/man8/$pkg.8.gz /lib/systemd/system/$pkg.service /etc/TAV/$pkg.conf; do
    grep -qx "$f" "$work/$pkg.files" || fail "$pkg lacks $f"
  done
  dpkg-deb --ctrl-tarfile "$(deb "$pkg")" | tar -xOf - ./conffiles | grep -qx "/etc/TAV/$pkg.conf" ||
    fail "/etc/TAV/$pkg.conf is no conffile"
  dpkg-deb --ctrl-tarfile "$(deb "$pkg")" | tar -xOf - ./postinst | grep -q "deb-systemd-helper.*$pkg.service" ||
    fail "$pkg does not enable its unit"
  cmp -s <(dpkg-deb --fsys-tarfile "$(deb "$pkg")" | tar -xOf - "./lib/systemd/system/$pkg.service") \
    "$src/dist/systemd/$pkg.service" || fail "$pkg.service differs from dist/systemd"
done
for f in /usr/bin/tav-make-class /usr/share/man/man1/tav-make-class.1.gz \
         /usr/share/tav/mosquitto/tav-class.conf.in /usr/share/tav/mosquitto/tav-class.acl.in; do
  grep -qx "$f" "$work/tav-teacherd.files" || fail "tav-teacherd lacks $f"
done
dpkg-deb -f "$(deb tav-teacherd)" Recommends | grep -qw mosquitto || fail "tav-teacherd does not recommend mosquitto"


# 4. Installed into an overlay of this machine's root.
if [ "$(id -u)" -ne 0 ] || ! unshare --mount true 2>/dev/null; then
  echo "package test: installing needs root and mount namespaces; skipped"
  exit 0
fi
step "installing in an overlay of /"
mkdir "$work/vendor"
cp -a "$src/tests/install" "$work/hosts"
cp "$src/tests/package/in_root.sh" "$work/"
unshare --mount --propagation private bash -s -- "$work" <<'NS'
set -euo pipefail
work=$1 o=$1/overlay
mkdir "$o"
mount -t tmpfs tmpfs "$o"
mkdir "$o/upper" "$o/scratch" "$o/root"
mount -t overlay overlay -o "lowerdir=/,upperdir=$o/upper,workdir=$o/scratch" "$o/root"
mount --rbind /dev "$o/root/dev"
mount -t proc proc "$o/root/proc"
mount -t tmpfs tmpfs "$o/root/tmp"
# A /run of its own: no maintainer script reaches this machine's init
# system (no /run/systemd/system), and none may start a service.
mount -t tmpfs tmpfs "$o/root/run"
printf '#!/bin/sh\nexit 101\n' >"$o/root/usr/sbin/policy-rc.d"
chmod 755 "$o/root/usr/sbin/policy-rc.d"
mkdir -p "$o/root/run/tav-test"
mount --bind "$work" "$o/root/run/tav-test"
chroot "$o/root" env -i PATH=/usr/sbin:/usr/bin:/sbin:/bin HOME=/root LANG=C.UTF-8 \
  bash /run/tav-test/in_root.sh /run/tav-test
NS

# 5. The README's walk-through for administrators, as written, on a
# teacher and a student machine made of two more overlays of the root.
step "the administrators' walk-through"
unshare --mount --net --pid --fork --propagation private \
  bash "$src/tests/package/walkthrough.sh" "$work" "$src"
step "done"
