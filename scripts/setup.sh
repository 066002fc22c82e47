#!/usr/bin/env bash
# Installs the Debian packages needed to build, test and demonstrate the
# libraries. Packages already present are skipped; `apt-get update` runs
# at most once, and only when something is missing. Run as root.
set -euo pipefail

packages=(
  # toolchain and build
  build-essential cmake pkg-config clang libclang-rt-14-dev
  # libraries we link against
  libdbus-1-dev libgtk2.0-dev liblog4cpp5-dev libtinyxml-dev libssl-dev
  # tests and benchmarks
  libgtest-dev libgmock-dev libbenchmark-dev
  # real parts the tests and the main job use
  dbus-daemon xvfb xauth util-linux procps
  # the classroom daemons: MQTT broker and client library, credentials
  mosquitto libmosquitto-dev openssl
  # message templates
  gettext
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
