#!/usr/bin/env bash
# tavctl --json against tav-sim-daemon teacher --json on a private bus: every
# line of both outputs is read by python3's JSON parser, and the objects
# carry what docs/tavctl.md and docs/tav-sim-daemon.md list (results with
# their outputs, notifications with their callback's arguments, errors; the
# daemon's requests, replies, notifications and answers to commands), texts
# with control characters and bytes that are not UTF-8 included. Also
# --result-status and a search whose wait ends with the last student's
# answer.
#   json_test.sh SOURCE_DIR TAVCTL TAV_SIM_DAEMON
set -uo pipefail
src=$1 tavctl=$2 sim=$3
# shellcheck source=../../common/tests/sim_bus.sh
. "$(dirname "$0")/../../common/tests/sim_bus.sh"
mkdir -p "$tmp/apps" "$tmp/runs"
printf '[Desktop Entry]\nType=Application\nName=Editor\nExec=edit\n' >"$tmp/apps/edit.desktop"
start_bus
mkfifo "$tmp/sim.in"
# Held open for reading and writing: the daemon's open of its input does not
# wait for a writer, and its input never ends while the test runs.
exec 5<>"$tmp/sim.in"
start_sim "$tmp/sim.in" teacher --json --students 3 --step-ms 20 --programs "$tmp/apps" \
  --result TEACHER_STOPCONTROLLER=5 --result TEACHER_KICKOFFSTUDENT=3

# run NAME ARGS...: standard output, standard error and exit status kept
# under NAME for the checks below.
run() {
  local name=$1; shift
  "$tavctl" "$@" >"$tmp/runs/$name.out" 2>"$tmp/runs/$name.err" </dev/null
  echo $? >"$tmp/runs/$name.status"
}
text=$'tab\there "quoted" back\\slash \x01\x1f del\x7f caf\xc3\xa9'
printf '%s' "$text" >"$tmp/text"
run list --json teacher get-student-list
run stop teacher --json stop-controller --result-status
run post teacher post-message --id 7 --text "$text" --wait 10 --json
run saved --json teacher get-student-lock-policy --student S1 --save "$tmp/policy-"$'\xff'".xml"
run search --json teacher search-program --folder /nonexistent --wait 30
run kick --json --result-status teacher kick-off-student --student S3 --wait 10
run bad --json teacher frobnicate
# The daemon's answer to a command, then its end.
echo list >&5
for _ in $(seq 100); do grep -q '"type":"command"' "$tmp/sim.out" && break; sleep 0.05; done
kill "$sim_pid" && wait "$sim_pid"
echo $? >"$tmp/sim.status"
sim_pid=''

python3 - "$tmp" <<'PY'
import json, os, sys
tmp = sys.argv[1]
passed = failed = 0

def check(ok, what):
    global passed, failed
    if ok:
        passed += 1
    else:
        failed += 1
        print("FAIL:", what)

def objects(name):
    path = os.path.join(tmp, "runs", name)
    status = int(open(path + ".status").read())
    out = open(path + ".out", "rb").read()
    result = []
    for n, line in enumerate(out.split(b"\n")[:-1], 1):
        try:
            result.append(json.loads(line.decode("utf-8")))
        except ValueError as e:
            check(False, "%s line %d is not JSON (%s): %r" % (name, n, e, line))
    check(out.endswith(b"\n") or not out, name + ": output ends with a newline")
    return status, result

def types(objs):
    return [o.get("type") for o in objs]

status, objs = objects("list")
check(status == 0, "get-student-list status %d" % status)
check(types(objs) == ["request", "result"], "get-student-list objects %s" % types(objs))
if len(objs) == 2:
    check(objs[0] == {"type": "request", "message": "TEACHER_GETSTUDENTLIST", "blocking": True}, str(objs[0]))
    students = objs[1].get("students", [])
    check(objs[1].get("result") == 0 and [s["studentID"] for s in students] == ["S1", "S2", "S3"], str(objs[1]))
    check(students and set(students[0]) == {"studentID", "username", "hostname", "IP", "start_time", "bLocked",
                                            "status"}, "student record fields %s" % students[:1])

status, objs = objects("stop")
check(status == 7, "--result-status with result 5: status %d, not 7" % status)
check(objs and objs[-1].get("result") == 5, "stop-controller result %s" % objs)

status, objs = objects("post")
text = open(os.path.join(tmp, "text"), "rb").read().decode("utf-8")
check(status == 0, "post-message status %d" % status)
check(types(objs) == ["request", "sent", "notification", "answers"], "post-message objects %s" % types(objs))
if len(objs) == 4:
    check(objs[0].get("text") == text, "request text %r" % objs[0].get("text"))
    check(objs[2] == {"type": "notification", "message": "POSTMESSAGE", "callback": "OnMessage", "id": 7,
                      "text": text}, "notification %r" % objs[2])
    check(objs[3] == {"type": "answers", "received": 1, "expected": 1}, str(objs[3]))

status, objs = objects("saved")
check(status == 0, "get-student-lock-policy status %d" % status)
result = objs[-1] if objs else {}
check(result.get("saved", "").endswith("/policy-\ufffd.xml"), "a byte that is not UTF-8: %r" % result.get("saved"))
check(result.get("policy", {}).get("kind") == "lock-schedule", "policy %r" % result.get("policy"))

status, objs = objects("search")
check(status == 0, "search-program status %d" % status)
check(types(objs) == ["request", "result", "request", "sent"] + ["notification"] * 3 + ["answers", "merged"],
      "search-program objects %s" % types(objs))
if len(objs) == 9:
    check(objs[0].get("for") == "wait", "the class asked for --wait: %s" % objs[0])
    check(isinstance(objs[3].get("opid"), int), "sent without opid: %s" % objs[3])
    note = objs[4]
    check(note.get("callback") == "SearchProgramCallBack" and note.get("studentID") == "S1" and
          note.get("programs") == [{"name": "Editor", "path": "edit"}] and "<" in note.get("programsXML", ""),
          "search answer %s" % note)
    check(objs[7] == {"type": "answers", "received": 3, "expected": 3}, str(objs[7]))
    check(objs[8].get("answers") == 3 and len(objs[8].get("programs", [])) == 1, str(objs[8]))

status, objs = objects("kick")
check(status == 5, "--result-status with an answer carrying 3: status %d, not 5" % status)
notes = [o for o in objs if o.get("callback") == "KickOffStudentCallBack"]
check(notes and notes[0].get("result") == 3 and notes[0].get("studentID") == "S3", "kick-off answer %s" % notes)

status, objs = objects("bad")
check(status == 2, "unknown command: status %d" % status)
check(len(objs) == 1 and objs[0].get("type") == "error" and objs[0].get("status") == 2 and
      "unknown teacher command 'frobnicate'" in objs[0].get("message", ""), "error object %s" % objs)

# The daemon's own output: nothing but objects, from ready to stopped.
status = int(open(os.path.join(tmp, "sim.status")).read())
check(status == 0, "tav-sim-daemon ended with %d" % status)
lines = open(os.path.join(tmp, "sim.out"), "rb").read().split(b"\n")[:-1]
events = []
for line in lines:
    try:
        events.append(json.loads(line.decode("utf-8")))
    except ValueError:
        check(False, "tav-sim-daemon printed something that is not JSON: %r" % line)
check(events and events[0] == {"type": "ready", "mode": "teacher", "name": "tav.teacher.daemon",
                               "students": ["S1", "S2", "S3"]}, "ready object %s" % events[:1])
check(events and events[-1] == {"type": "stopped", "status": 0}, "stopped object %s" % events[-1:])
check({"type": "request", "message": "TEACHER_STOPCONTROLLER", "opid": 1, "studentID": "null",
       "blocking": True} in [dict(e, opid=1) for e in events if e.get("type") == "request"], "stop-controller request")
check(any(e.get("type") == "reply" and e.get("message") == "TEACHER_STOPCONTROLLER" and e.get("result") == 5
          for e in events), "reply with the configured result")
check(any(e.get("type") == "notification" and e.get("message") == "TEACHER_KICKOFFSTUDENTCALLBACK" and
          e.get("studentID") == "S3" and e.get("result") == 3 for e in events), "kick-off notification")
commands = [e for e in events if e.get("type") == "command"]
check(len(commands) == 1 and commands[0].get("ok") is True and commands[0].get("command") == "list" and
      len(commands[0].get("output", [])) == 3, "answer to list: %s" % commands)

print("%d passed, %d failed" % (passed, failed))
sys.exit(1 if failed else 0)
PY
