#!/usr/bin/env bash
# Every C and C++ file of the tree is formatted as .clang-format says.
# Formatters of other major versions break lines differently: the check
# runs with the version the tree was formatted with (Debian 12's).
#   format_test.sh SOURCE_DIR
set -uo pipefail
cd "$1" || exit 1
major=14
tool=$(command -v clang-format-$major || command -v clang-format || true)
if [ -z "$tool" ] || ! "$tool" --version | grep -q "version $major\."; then
  echo "clang-format $major is not installed: skipped"
  exit 77
fi
if git rev-parse --is-inside-work-tree >/dev/null 2>&1; then
  mapfile -t files < <(git ls-files '*.c' '*.cpp' '*.h')
else
  mapfile -t files < <(find . -path ./build\* -prune -o \( -name '*.c' -o -name '*.cpp' -o -name '*.h' \) -print)
fi
if ! "$tool" --dry-run --Werror "${files[@]}"; then
  echo "FAIL: run: $tool -i \$(git ls-files '*.c' '*.cpp' '*.h')"
  exit 1
fi
echo "${#files[@]} files formatted as .clang-format says"
