#!/usr/bin/env bash
# in_root.sh WORK — run by package_test.sh inside the throwaway root: the
# packages are in WORK/debs, the host programs in WORK/hosts.
set -euo pipefail
work=$1
fail() { echo "package test (installed): $*" >&2; exit 1; }

dpkg -i "$work"/debs/*.deb >"$work/dpkg.log" 2>&1 || { cat "$work/dpkg.log"; fail "dpkg -i"; }
echo "installed: $(dpkg-query -W -f '${Package} ' 'libtav*' 'tav-*' libdcssdk-standin)"
getent group tav-teacher >/dev/null || fail "group tav-teacher not created"
getent group tav-admin >/dev/null || fail "group tav-admin not created"

# The daemons' units: enabled, and systemd takes them as installed (the
# programs and man pages they name included).
for unit in tav-teacherd.service tav-studentd.service; do
  [ -L /etc/systemd/system/multi-user.target.wants/$unit ] || fail "$unit is not enabled"
  out=$(systemd-analyze verify /lib/systemd/system/$unit 2>&1) && [ -z "$out" ] ||
    fail "systemd-analyze verify $unit: $out"
done
for daemon in tav-teacherd tav-studentd; do
  $daemon --version | grep -qx "$daemon (TAV) [0-9.]*" || fail "$daemon --version"
done

# Every file the libraries read is where they read it.
tav-info --check >"$work/check.log" || { cat "$work/check.log"; fail "tav-info --check"; }
tav-info --version | grep -qx "tav-info (TAV) [0-9.]*" || fail "tav-info --version"

# The installed man page reads, with every teacher command in it.
MANWIDTH=80 man -l /usr/share/man/man1/tavctl.1.gz >"$work/man.txt" 2>&1 || fail "man -l tavctl"
grep -q "tavctl teacher deploy-schedule-policy" "$work/man.txt" || fail "man tavctl lacks the commands"
grep -q -- "--version" "$work/man.txt" || fail "man tavctl lacks --version"

# Bash completion as bash loads it, by the tool's name.
bash -c '. /usr/share/bash-completion/completions/tav-sim-daemon
  COMP_WORDS=(tavctl teacher deploy-s); COMP_CWORD=2; _tav_complete
  [ "${COMPREPLY[*]}" = deploy-schedule-policy ]' || fail "completion of tavctl teacher deploy-s"

# Host programs build against the installed files alone.
"$work/hosts/build_hosts.sh" "$work/hosts" "$(mktemp -d)"

# A vendor's SDK package takes the stand-in's place; the device-context
# library then loads the vendor's libDcsSdk.so.
vendor=$(mktemp -d)
mkdir -p "$vendor/DEBIAN" "$vendor/opt/vendor"
lib=$(dpkg -L libdcssdk-standin | grep '/libDcsSdk\.so$')
cat >"$vendor/DEBIAN/control" <<CONTROL
Package: libdcssdk
Version: 9.0
Architecture: $(dpkg --print-architecture)
Maintainer: Vendor <vendor@example.org>
Conflicts: libdcssdk-standin
Replaces: libdcssdk-standin
Description: vendor device SDK (test double)
CONTROL
mkdir -p "$vendor$(dirname "$lib")"
cp "$lib" "$vendor$lib"
echo vendor >"$vendor/opt/vendor/marker"
dpkg-deb --root-owner-group -b "$vendor" "$work/vendor/libdcssdk.deb" >/dev/null
dpkg -i --auto-deconfigure "$work/vendor/libdcssdk.deb" >"$work/dpkg-vendor.log" 2>&1 ||
  { cat "$work/dpkg-vendor.log"; fail "the vendor's SDK package did not replace the stand-in"; }
if dpkg -s libdcssdk-standin 2>/dev/null | grep -q '^Status: install ok installed'; then
  fail "the stand-in is still installed beside the vendor's SDK"
fi
dpkg -s libtavdevicecontext1 | grep -q "Status: install ok installed" || fail "libtavdevicecontext1 broken"
[ "$(dpkg -S "$lib" | cut -d: -f1)" = libdcssdk ] || fail "$lib is not the vendor's"
echo "vendor SDK replaced the stand-in: ok"
