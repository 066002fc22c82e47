#!/usr/bin/env bash
# The main job: sets up the machine, builds the libraries and tools, and runs
# the demonstration.
set -euo pipefail
cd "$(dirname "$0")/.."
if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null; then sudo scripts/setup.sh; else scripts/setup.sh; fi
cmake -S . -B build >/dev/null
cmake --build build -j"$(nproc)"
echo
echo "=== demonstration"
# A private HOME, so the demonstration's log lands in a throwaway folder.
home=$(mktemp -d "${TMPDIR:-/tmp}/tav-demo-XXXXXX")
trap 'rm -rf "$home"' EXIT
HOME=$home build/tools/tav-info
