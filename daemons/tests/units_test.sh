#!/usr/bin/env bash
# units_test.sh UNIT_DIR SBINDIR TEACHERD STUDENTD
# The daemons' systemd units as systemd reads them: each starts the program
# where it is installed (SBINDIR), and `systemd-analyze verify` takes it
# without a word once that path names the built program (no systemd needs
# to run). The sandbox keeps its exposure level ("systemd-analyze security",
# 0 to 100) at 30 at most, so that a loosened option shows.
set -euo pipefail
units=$1 sbindir=$2
declare -A built=([tav-teacherd]=$3 [tav-studentd]=$4)
fail() { echo "units test: $*" >&2; exit 1; }
command -v systemd-analyze >/dev/null || { echo "units test: no systemd-analyze; skipped"; exit 0; }
work=$(mktemp -d "${TMPDIR:-/tmp}/tav-units-XXXXXX")
trap 'rm -rf "$work"' EXIT

for name in tav-teacherd tav-studentd; do
  unit=$units/$name.service
  [ "$(sed -n 's/^ExecStart=//p' "$unit")" = "$sbindir/$name" ] ||
    fail "$name.service does not start $sbindir/$name"
  sed "s|^ExecStart=.*|ExecStart=${built[$name]}|" "$unit" >"$work/$name.service"
done
cd "$work"
out=$(systemd-analyze verify --man=no ./tav-teacherd.service ./tav-studentd.service 2>&1) ||
  fail "systemd-analyze verify: $out"
[ -z "$out" ] || fail "systemd-analyze verify complains: $out"
for name in tav-teacherd tav-studentd; do
  level=$(systemd-analyze security --offline=yes --threshold=30 "./$name.service" 2>&1) ||
    fail "$name.service is exposed more than before: $(grep -v '✓' <<<"$level")"
  grep 'Overall exposure' <<<"$level"
done
echo "units: ok"
