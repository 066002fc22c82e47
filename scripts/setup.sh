#!/usr/bin/env bash
# Installs the Debian packages needed to build, test, package and
# demonstrate the libraries: the build dependencies of debian/control (the
# one list of them) and what only the tests need. Packages already present
# are skipped; `apt-get update` runs at most once, and only when something
# is missing. Run as root.
set -euo pipefail
cd "$(dirname "$0")/.."

# Build-Depends of debian/control, one package a line: the first of each
# set of alternatives, without versions, architectures or profiles.
build_depends() {
  sed -n '/^Build-Depends:/,/^[^ ]/{/^Build-Depends:/{s/^Build-Depends://;p;d};/^ /p}' debian/control |
    tr ',' '\n' | sed -e 's/|.*//' -e 's/[([<].*//' -e 's/ //g' -e '/^$/d' |
    sed 's/^debhelper-compat$/debhelper/'
}
mapfile -t build_packages < <(build_depends)
[ ${#build_packages[@]} -gt 0 ] || { echo "setup: no Build-Depends in debian/control" >&2; exit 1; }

packages=(
  "${build_packages[@]}"
  # toolchain, package building and checking
  build-essential dpkg-dev lintian clang libclang-rt-14-dev
  # the formatter the tree is checked against (tests/format_test.sh)
  clang-format-14
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev liblog4cpp5-dev
  # instructions per request (bench/ipc/profile_request.sh)
  valgrind
  # real parts the tests and the main job use
  dbus-daemon xvfb xauth util-linux procps man-db adduser
  # the bus tools the daemon tests call: busctl, dbus-send, gdbus
  systemd dbus-bin libglib2.0-bin
  # the classroom: the MQTT broker the daemon tests start, credentials
  mosquitto openssl
  # class discovery: the mDNS daemon and the tools that give each test
  # machine its own network (namespaces, veth pairs, a bridge)
  avahi-daemon iproute2
  # what the daemon packages recommend, so that the administrators'
  # walk-through installs them offline in the package stage
  kmod
)

missing=()
for p in "${packages[@]}"; do
  status=$(dpkg-query -W -f='${db:Status-Status}' "$p" 2>/dev/null || true)
  [ "$status" = installed ] || missing+=("$p")
done

if [ ${#missing[@]} -eq 0 ]; then
  echo "setup: all ${#packages[@]} packages present"
  exit 0
fi

if [ "$(id -u)" -ne 0 ]; then
  echo "setup: missing packages: ${missing[*]}" >&2
  echo "setup: run this script as root to install them" >&2
  exit 1
fi

echo "setup: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
apt-get update -q
apt-get install -y -q --no-install-recommends "${missing[@]}"

# The tests start brokers of their own; a system broker that the package
# just started (where an init system runs) is not ours to leave listening.
# One that was installed before is left alone.
if [[ " ${missing[*]} " == *" mosquitto "* ]] && [ -d /run/systemd/system ]; then
  echo "setup: stopping and disabling the mosquitto service the package started"
  systemctl disable --now mosquitto.service || true
fi
# The same for the mDNS daemon: the discovery test starts its own, one per
# test machine. Its socket unit would start it again on the first client.
if [[ " ${missing[*]} " == *" avahi-daemon "* ]]; then
  if [ -d /run/systemd/system ]; then
    echo "setup: stopping and disabling the avahi-daemon service the package started"
    systemctl disable --now avahi-daemon.socket avahi-daemon.service || true
  elif avahi-daemon --check 2>/dev/null; then
    echo "setup: stopping the avahi-daemon the package started"
    invoke-rc.d avahi-daemon stop || true
    update-rc.d avahi-daemon disable || true
  fi
fi
