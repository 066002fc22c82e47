# Checks the end-to-end script tests share; sourced.

failures=0
fail() { echo "FAIL: $*"; failures=$((failures + 1)); }

# expect_lines OUTPUT PATTERN...: each glob pattern matches a whole line
# of OUTPUT.
expect_lines() {
  local out=$1 line l found
  shift
  for line in "$@"; do
    found=0
    while IFS= read -r l; do
      # shellcheck disable=SC2053
      [[ "$l" == $line ]] && found=1 && break
    done <<<"$out"
    [ "$found" -eq 1 ] || fail "missing output line: $line"
  done
}
