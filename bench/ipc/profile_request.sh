#!/usr/bin/env bash
# Instructions per blocking request, counted by callgrind (repeatable where
# timings are not): the caller (IPCStudentAPI::HardWareControl against a raw
# libdbus call of the same size) and both daemons (ours against the raw one),
# both sides logging as in ipc_request_bench.
#
#   bench/ipc/profile_request.sh [BUILD_DIR] [REQUESTS] [OUT_DIR]
# Defaults: build, 200, a new temporary folder. The callgrind files stay in
# OUT_DIR for callgrind_annotate.
set -euo pipefail
build=${1:-build}
n=${2:-200}
out=${3:-$(mktemp -d)}
bench=$build/bench/ipc/ipc_request_bench
command -v valgrind >/dev/null || { echo "valgrind is not installed" >&2; exit 2; }
mkdir -p "$out"
rm -f "$out"/caller-* "$out"/daemon-*

profile() { # <what> <toggle function>
  valgrind --tool=callgrind --callgrind-out-file="$out/caller-$1" --toggle-collect="*$2*" \
    "$bench" --benchmark_filter=RequestVsRaw/stdout_devnull --iterations="$n" >/dev/null 2>&1
}
profile ours callerOurRequest
TAV_BENCH_DAEMON_WRAP="valgrind --tool=callgrind --callgrind-out-file=$out/daemon-%p --toggle-collect=*daemonServe*" \
  profile raw callerRawRequest

total() { callgrind_annotate "$1" 2>/dev/null | awk '/PROGRAM TOTALS/ { gsub(",", "", $1); print $1; exit }'; }
# Each side also served its warm-up request.
per() { echo $(( $(total "$1") / ($2) )); }
ourDaemon="" rawDaemon=""
for f in "$out"/daemon-*; do
  if callgrind_annotate --inclusive=yes "$f" 2>/dev/null | grep IPCStudentDaemonAPI::ReceiveMsg >/dev/null; then ourDaemon=$f; else rawDaemon=$f; fi
done
echo "instructions per request ($n requests; files in $out)"
echo "caller: ours $(per "$out/caller-ours" "$n + 1"), raw $(per "$out/caller-raw" "$n + 1")"
echo "daemon: ours $(per "$ourDaemon" "$n + 1"), raw $(per "$rawDaemon" "$n + 1")"
