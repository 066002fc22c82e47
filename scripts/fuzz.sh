#!/usr/bin/env bash
# Runs every fuzz_* target of a fuzz build for a bounded time, starting from
# its seed corpus fuzz/<folder>/corpus_<name>/ (copied, so the repository's
# corpus only changes by hand). Targets: fuzz_intfdata (envelope and
# parameter document), fuzz_data (configuration files), fuzz_daemon_receive
# (a daemon's receive path, from bus message to parameter reads).
#   scripts/fuzz.sh <build-dir> [seconds-per-target]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:?build directory}; seconds=${2:-60}
# Absolute: each target runs from its own work folder.
build=$(cd "$build" && pwd)
found=0
while IFS= read -r target; do
  found=1
  name=$(basename "$target")
  seeds=$(find fuzz -type d -name "corpus_${name#fuzz_}" | head -n1)
  work=$(mktemp -d "${TMPDIR:-/tmp}/tav-fuzz-XXXXXX")
  [ -n "$seeds" ] && cp -r "$seeds"/. "$work"/
  echo "--- $name for ${seconds}s (seeds: ${seeds:-none})"
  if ! (cd "$work" && HOME=$work "$target" -max_total_time="$seconds" -timeout=10 \
          -rss_limit_mb=2048 -print_final_stats=1 "$work" > "$work/log" 2>&1); then
    tail -n 60 "$work/log"
    echo "fuzz target $name failed; crash input kept in $work" >&2
    exit 1
  fi
  grep -E "stat::number_of_executed_units|stat::peak_rss_mb" "$work/log" || true
  rm -rf "$work"
done < <(find "$build" -type f -executable -name 'fuzz_*' | sort)
[ "$found" = 1 ] || echo "no fuzz targets built yet"
