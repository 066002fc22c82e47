#!/usr/bin/env bash
# Renders the pictures of docs/dialogs.md into docs/pictures/: each dialog of
# the GUI library, filled with sample data, drawn by the library itself on a
# private Xvfb. Run it after changing a dialog, then look at the pictures.
#
#   scripts/render-pictures.sh [build folder] [picture name ...]
#
# Needs what the dialog tests need: Xvfb and a private mount namespace
# (root), so that the sample /etc/TAV/ never touches the machine's own.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build}
shift || true
[ -f "$build/CMakeCache.txt" ] || cmake -S . -B "$build" >/dev/null
cmake --build "$build" --target tav-render-dialogs -j2 >/dev/null
"$build/tools/tav-render-dialogs/tav-render-dialogs" "$PWD/docs/pictures" "$@" >/dev/null
