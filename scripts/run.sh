#!/usr/bin/env bash
# The main job: sets up the machine, builds the libraries and the two tools,
# and runs the demonstration (scripts/demo.sh): a private bus, the simulated
# teacher daemon with a class of students and a short teacher session
# through tavctl. --system runs it on the machine's system bus instead.
set -euo pipefail
cd "$(dirname "$0")/.."
for arg in "$@"; do
  case $arg in
    --system) ;;
    -h|--help) sed -n '2,5p' "$0" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "run: unknown argument $arg (--system or nothing)" >&2; exit 2 ;;
  esac
done
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null; then sudo scripts/setup.sh; else scripts/setup.sh; fi
cmake -S . -B build >/dev/null
# Only what the demonstration runs; scripts/test.sh builds everything.
cmake --build build -j"$(nproc)" --target tavctl tav-sim-daemon
echo
exec scripts/demo.sh "$@" build
