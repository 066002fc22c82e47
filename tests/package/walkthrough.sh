#!/usr/bin/env bash
# walkthrough.sh WORK SRC — the administrators' walk-through of the README,
# run as written on two machines of its own: package_test.sh starts it with
# the packages in WORK/debs, in private mount, network and process
# namespaces (`unshare --mount --net --pid --fork`), so that nothing it
# starts outlives it and no traffic leaves the namespace's loopback.
#
# Each machine ("teacher", "student") is an overlay of this machine's root
# with a /run, /tmp and system bus of its own; the packages are in
# /run/packages, where every block runs. Both machines share the loopback,
# on which teacher-pc.local (the README's name for the teacher machine) is
# 127.0.0.1. No avahi-daemon runs: the daemons fall back on the configured
# broker, as on a network without multicast. No systemd runs either: the
# test's systemctl stand-in (tests/package/systemctl-standin) starts a unit
# from its ExecStart= line.
#
# README markers, each an HTML comment on the line before a code block:
#   <!-- walk-through: teacher -->   the block runs on the teacher machine
#   <!-- walk-through: student -->   ... on the student machine
#   <!-- walk-through: teacher, after S1 is online -->   once the teacher
#                                    daemon lists S1 online (as a person
#                                    would look again)
#   <!-- walk-through: carry PATH --> (no block) PATH is copied from the
#                                    teacher machine to the student machine
set -euo pipefail
work=$1 src=$2
fail() { echo "walk-through: $*" >&2; exit 1; }
start=$SECONDS

ip link set lo up
root() { echo "$work/machine-$1/root"; }
for m in teacher student; do
  o=$work/machine-$m
  mkdir -p "$o"
  mount -t tmpfs tmpfs "$o"
  mkdir "$o/upper" "$o/scratch" "$o/root"
  mount -t overlay overlay -o "lowerdir=/,upperdir=$o/upper,workdir=$o/scratch" "$o/root"
  r=$o/root
  mount --rbind /dev "$r/dev"
  mount -t proc proc "$r/proc"
  mount -t tmpfs tmpfs "$r/tmp"
  mount -t tmpfs tmpfs "$r/run"
  mkdir -p "$r/run/packages" "$r/run/dbus"
  mount --bind "$work/debs" "$r/run/packages"
  printf '#!/bin/sh\nexit 101\n' >"$r/usr/sbin/policy-rc.d"
  chmod 755 "$r/usr/sbin/policy-rc.d"
  install -m 0755 "$src/tests/package/systemctl-standin" "$r/usr/local/sbin/systemctl"
  echo "127.0.0.1 teacher-pc.local" >>"$r/etc/hosts"
  chroot "$r" dbus-daemon --system --fork --nopidfile || fail "no system bus on the $m machine"
done

# run MACHINE SCRIPT: as root on that machine, from the packages' folder.
run() {
  chroot "$(root "$1")" env -i PATH=/usr/local/sbin:/usr/local/bin:/usr/sbin:/usr/bin:/sbin:/bin \
    HOME=/root LANG=C.UTF-8 DEBIAN_FRONTEND=noninteractive \
    bash -euo pipefail -c "cd /run/packages && $2"
}

# The steps, in README order: N.what (the marker) and N.sh (its block).
steps=$work/walkthrough-steps
mkdir "$steps"
# Blocks may be indented (in a list item): the fence's indentation is
# taken off every line.
awk -v dir="$steps" '
  /^ *<!-- walk-through: .* -->$/ {
    sub(/^ *<!-- walk-through: /, ""); sub(/ -->$/, "")
    n++; print > (dir "/" n ".what"); want = $0 !~ /^carry /; next
  }
  want && /^ *```/ { want = 0; inside = 1; indent = index($0, "`") - 1; printf "" > (dir "/" n ".sh"); next }
  inside && /^ *```$/ { inside = 0; next }
  inside { print substr($0, indent + 1) > (dir "/" n ".sh") }
' "$src/README.md"
count=$(ls "$steps"/*.what 2>/dev/null | wc -l)
[ "$count" -gt 0 ] || fail "the README marks no walk-through"

online() {
  local list
  for _ in $(seq 120); do
    list=$(run teacher "tavctl teacher get-student-list" 2>&1) || true
    grep -q "^student: $1 .*status=$2" <<<"$list" && return 0
    sleep 0.5
  done
  echo "$list" >&2
  return 1
}

for n in $(seq "$count"); do
  what=$(cat "$steps/$n.what")
  echo "[$n/$count] $what ($((SECONDS - start)) s)"
  case $what in
    carry\ /*)
      path=${what#carry }
      mkdir -p "$(root student)$(dirname "$path")"
      cp -a "$(root teacher)$path" "$(root student)$path" || fail "cannot carry $path" ;;
    teacher|student|"teacher, after "*" is online")
      [ -f "$steps/$n.sh" ] || fail "no code block after the marker '$what'"
      machine=${what%%,*}
      if [[ $what == *", after "* ]]; then
        id=${what#*after }
        id=${id% is online}
        online "$id" 1 || fail "$id did not come online on the teacher's list"
      fi
      # A question (apt's) is answered yes, as the administrator would.
      run "$machine" "$(cat "$steps/$n.sh")" >"$steps/$n.out" 2>&1 < <(yes) ||
        { cat "$steps/$n.out"; for u in "$(root "$machine")"/run/standin/*.log; do
            [ -f "$u" ] && { echo "== $u"; tail -n 20 "$u"; }; done; fail "step $n ($what) failed"; }
      sed 's/^/    /' "$steps/$n.out" | tail -n 12 ;;
    *) fail "unknown marker '$what'" ;;
  esac
done

# The student is locked: the teacher's command was answered, the teacher
# daemon lists it locked, and both daemons still run.
last=$steps/$count.out
grep -q 'ManualLockRemotStudentCallBack("S1", 0)' "$last" || fail "the lock was not answered: $(cat "$last")"
online S1 2 || fail "S1 is not listed locked"
run teacher "systemctl is-active mosquitto tav-teacherd" >/dev/null || fail "a teacher service stopped"
run student "systemctl is-active tav-studentd" >/dev/null || fail "the student daemon stopped"

# What tav-make-class printed is what the README runs: the broker's and the
# teacher's commands on the teacher machine, the students' (ID = S1) on
# the student machine.
install_txt=$(root teacher)/root/class-5A/INSTALL.txt
[ -f "$install_txt" ] || fail "no $install_txt"
for machine in teacher student; do
  cat $(grep -lx "$machine\(,.*\)\?" "$steps"/*.what | sed 's/\.what$/.sh/') >"$steps/$machine.all"
done
awk '/^(Broker|Teacher machine)/ { side = "teacher" } /^Each student/ { side = "student" }
     side && /^  [a-z]/ { sub(/^  /, ""); print side "\t" $0 }' \
  "$install_txt" | sed 's/\bID\b/S1/g' | while IFS=$'\t' read -r machine command; do
  grep -qxF "$command" "$steps/$machine.all" || fail "the README's $machine steps lack: $command"
done
echo "walk-through: from the packages to a locked student in $((SECONDS - start)) s"
