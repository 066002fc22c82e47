#!/usr/bin/env bash
# The main job: sets up the machine, builds the daemons and the tools, and
# runs the real classroom on this machine (scripts/classroom.sh): a broker,
# the teacher daemon and four student machines, and a teacher session
# through tavctl. Needs root (asks sudo when it is not).
#   --simulator [--system]  the host developers' demonstration instead:
#                           the simulated teacher daemon (scripts/demo.sh)
set -euo pipefail
cd "$(dirname "$0")/.."
simulator=0
demo_args=()
for arg in "$@"; do
  case $arg in
    --simulator) simulator=1 ;;
    --system) demo_args+=(--system) ;;
    -h|--help) sed -n '2,7p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run: unknown argument $arg (see --help)" >&2; exit 2 ;;
  esac
done
if [ "${#demo_args[@]}" -gt 0 ] && [ "$simulator" -eq 0 ]; then
  echo "run: --system goes with --simulator" >&2
  exit 2
fi
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null; then sudo scripts/setup.sh; else scripts/setup.sh; fi
cmake -S . -B build >/dev/null
# Only what is run here; scripts/test.sh builds everything.
if [ "$simulator" -eq 1 ]; then
  cmake --build build -j"$(nproc)" --target tavctl tav-sim-daemon
  echo
  exec scripts/demo.sh "${demo_args[@]}" build
fi
cmake --build build -j"$(nproc)" --target tav-classlab tav-teacherd tav-studentd tavctl
echo
exec scripts/classroom.sh build
