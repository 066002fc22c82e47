#!/bin/sh
# CTest registers each case a test program lists (DISABLED_ ones left out),
# shows a skipped case as skipped, and turns a program that crashes or lists
# nothing into a failing test rather than into no test.
#   ctest_cases_test.sh <source folder> <cmake> <ctest>
set -eu
root=$1 cmake=$2 ctest=$3
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; cat "$work/out"; exit 1; }

# Stand-ins for test programs, answering as a Google Test program would.
program() { printf '#!/bin/sh\n%s\n' "$2" > "$work/$1"; chmod +x "$work/$1"; }
program good 'case "$1" in
  --gtest_list_tests) printf "Suite.\n  Runs\n  DISABLED_Waits\nTyped/P/0.  # TypeParam = int\n  Works\n" ;;
  --gtest_filter=Suite.Runs|--gtest_filter=Typed/P/0.Works) [ "$2" = --tav_ctest_case ] ;;
  *) exit 1 ;;
esac'
program skipper 'case "$1" in --gtest_list_tests) printf "Env.\n  Skips\n" ;; *) exit 77 ;; esac'
program crasher 'echo "dying before main" >&2; kill -SEGV $$'
program silent 'exit 0'

mkdir "$work/src"
cat > "$work/src/CMakeLists.txt" <<EOF
cmake_minimum_required(VERSION 3.18)
project(cases NONE)
enable_testing()
include([==[$root/cmake/TavTargets.cmake]==])
foreach(p good skipper crasher silent)
  tav_register_gtest_cases(\${p} "$work/\${p}" "lab;\${p}" 30)
endforeach()
EOF
"$cmake" -S "$work/src" -B "$work/build" > "$work/out" 2>&1 || fail "configure"
cd "$work/build"

"$ctest" -N > "$work/out" 2>&1 || fail "ctest -N"
names=$(sed -n 's/^ *Test *#[0-9]*: //p' "$work/out" | sort | tr '\n' ' ')
[ "$names" = "Env.Skips Suite.Runs Typed/P/0.Works crasher silent " ] || fail "registered: $names"

if "$ctest" --output-on-failure > "$work/out" 2>&1; then fail "the suite passed"; fi
grep -q 'Suite\.Runs \.*   Passed' "$work/out" || fail "Suite.Runs did not pass"
grep -q 'Typed/P/0\.Works \.*   Passed' "$work/out" || fail "Typed/P/0.Works did not pass"
grep -q 'Env\.Skips \.*\*\*\*Skipped' "$work/out" || fail "Env.Skips not skipped"
grep -q 'crasher \.*\*\*\*Failed' "$work/out" || fail "crasher did not fail"
grep -q 'dying before main' "$work/out" || fail "crasher's output not shown"
grep -q 'silent \.*\*\*\*Failed' "$work/out" || fail "silent did not fail"
grep -q 'listed no test case' "$work/out" || fail "silent's failure not explained"

# Labels: the given ones and the program's name.
"$ctest" -N -L '^good$' > "$work/out" 2>&1
grep -q 'Total Tests: 2' "$work/out" || fail "label good"
echo "ctest cases: passed"
