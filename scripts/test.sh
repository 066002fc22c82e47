#!/usr/bin/env bash
# Sets up the machine, builds everything and runs every test:
#   1. the normal build (warnings are errors) and its whole suite,
#   2. the suite again built with AddressSanitizer + UndefinedBehaviorSanitizer,
#   3. the threaded tests built with ThreadSanitizer,
#   4. each libFuzzer target for a bounded time (TAV_FUZZ_SECONDS, default 60),
#   5. the Debian packages: built, checked, lintian, installed in a throwaway
#      overlay of the root and built against (tests/package/package_test.sh).
# TAV_TEST_STAGES picks stages, e.g. TAV_TEST_STAGES="plain asan".
set -euo pipefail
cd "$(dirname "$0")/.."
root=$PWD
stages=${TAV_TEST_STAGES:-plain asan tsan fuzz package}
jobs=$(nproc)

if [ "$(id -u)" -ne 0 ] && command -v sudo >/dev/null; then sudo scripts/setup.sh; else scripts/setup.sh; fi

build() {
  local dir=$1; shift
  cmake -S "$root" -B "$root/$dir" "$@" >/dev/null
  cmake --build "$root/$dir" -j"$jobs"
}

runtests() {
  local dir=$1; shift
  (cd "$root/$dir" && ctest --output-on-failure -j"$jobs" "$@")
}

for stage in $stages; do
  echo "=== test stage: $stage"
  case $stage in
    plain)
      build build
      runtests build
      ;;
    asan)
      build build-asan -DTAV_SANITIZE=address,undefined -DCMAKE_BUILD_TYPE=Debug \
        -DTAV_BUILD_BENCH=OFF
      ASAN_OPTIONS=detect_leaks=1:abort_on_error=1:strict_string_checks=1 \
      UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        runtests build-asan -LE classroom
      ;;
    tsan)
      build build-tsan -DTAV_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug -DTAV_BUILD_BENCH=OFF
      # ThreadSanitizer cannot map its shadow with full address randomisation.
      TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1 \
        setarch "$(uname -m)" -R bash -c "cd '$root/build-tsan' && ctest --output-on-failure -j$jobs -L tsan"
      ;;
    fuzz)
      CC=clang CXX=clang++ build build-fuzz -DTAV_BUILD_FUZZ=ON -DTAV_SANITIZE=address,undefined \
        -DTAV_BUILD_TESTS=OFF -DTAV_BUILD_BENCH=OFF
      scripts/fuzz.sh build-fuzz "${TAV_FUZZ_SECONDS:-60}"
      ;;
    package)
      started=$SECONDS
      tests/package/package_test.sh "$root"
      echo "package stage: $((SECONDS - started)) s"
      ;;
    *)
      echo "unknown test stage: $stage" >&2
      exit 2
      ;;
  esac
done
echo "=== all test stages passed: $stages"
