# What the two teacher sessions (scripts/demo.sh, scripts/classroom.sh)
# share; sourced. $tavctl is the tavctl to run.

say() { printf '%s\n' "$*"; }
step() { printf '\n--- %s\n' "$*"; }

# One tavctl command: the command line, then its output as it comes. The
# indenting survives Ctrl-C, so that tavctl's last lines still show.
ctl() {
  say "\$ tavctl $*"
  "$tavctl" "$@" 2>&1 | (trap '' INT; sed -u 's/^/    /')
}

# Four program launchers in folder $1, for the program search.
write_launchers() {
  local dir=$1 entry name exec icon
  mkdir -p "$dir"
  for entry in "Text Editor:mousepad %F:accessories-text-editor" "Calculator:galculator:accessories-calculator" \
               "Web Browser:firefox-esr %u:web-browser" "Drawing:drawing %U:applications-graphics"; do
    IFS=: read -r name exec icon <<<"$entry"
    printf '[Desktop Entry]\nType=Application\nName=%s\nExec=%s\nIcon=%s\n' "$name" "$exec" "$icon" \
      >"$dir/$(echo "$name" | tr 'A-Z ' 'a-z-').desktop"
  done
}
