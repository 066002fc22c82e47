// tav-sim-daemon: its command line and program listing in process, and the
// daemon itself as a separate process over the private bus, with raw libdbus
// peers playing the applications (independent of the application APIs).
#include "LockScheduleData.h"
#include "ProgramListing.h"
#include "RawPeer.h"
#include "SearchResultData.h"
#include "SimOptions.h"
#include "StudentInfoData.h"
#include "TAVSystemSettingData.h"
#include "TabNavigationData.h"
#include "TeacherInfoData.h"
#include "TestSupport.h"

#include "IntfData.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <deque>
#include <map>
#include <memory>
#include <vector>

using IPCAPI::CIntfData;
using IPCAPI::tagStudent_t;
using namespace simdaemon;

namespace {

bool Parse(std::vector<std::string> args, SimOptions& o, std::string& error)
{
    bool help = false;
    return ParseOptions(args, o, error, help);
}

std::string Ids(const std::list<tagStudent_t>& students)
{
    std::string s;
    for (const auto& st : students)
        s += st.studentID + "/" + st.username + "/" + st.hostname + "/" + st.IP + " ";
    return s;
}

// A folder with two launchers that count, two that do not, a program, a
// plain file and a subfolder.
std::string ProgramsFolder()
{
    const std::string dir = tavtest::MakeTempDir("programs");
    tavtest::WriteFile(dir + "/editor.desktop",
                       "[Desktop Entry]\nType=Application\nName=Editor\n"
                       "Name[de]=Bearbeiter\nExec=/usr/bin/edit  %U --new\n"
                       "Icon=accessories-text-editor\n[Other]\nName=Wrong\n");
    tavtest::WriteFile(dir + "/hidden.desktop",
                       "[Desktop Entry]\nName=Hidden\nExec=h\nNoDisplay=true\n");
    tavtest::WriteFile(dir + "/link.desktop", "[Desktop Entry]\nType=Link\nName=Link\nExec=l\n");
    tavtest::WriteFile(dir + "/calc.desktop", "[Desktop Entry]\nName=Calc 100%%\nExec=calc\n");
    tavtest::WriteFile(dir + "/tool.sh", "#!/bin/sh\n");
    chmod((dir + "/tool.sh").c_str(), 0755);
    tavtest::WriteFile(dir + "/notes.txt", "text");
    mkdir((dir + "/sub").c_str(), 0755);
    return dir;
}

std::string Programs(const std::string& xml)
{
    LibTAVData::CSearchResultData result;
    if (result.LoadFromString(xml) < 0)
        return "<does not load>";
    std::string s;
    for (auto* a : *result.GetPApplicationInfoList())
        s += a->GetName() + "|" + a->GetPath() + "|" + a->GetCustomIcon() + ";";
    return s;
}

template <class Data>
std::string Document(Data&& data)
{
    std::string text;
    data.Save2String(text);
    return text;
}

// The simulated daemon as a child process: standard input from a pipe,
// output to files.
class SimProcess {
public:
    explicit SimProcess(std::vector<std::string> args)
    {
        m_dir = tavtest::MakeTempDir("sim");
        int in[2];
        if (pipe(in) != 0)
            return;
        std::fflush(nullptr);
        m_pid = fork();
        if (m_pid == 0) {
            dup2(in[0], 0);
            close(in[0]);
            close(in[1]);
            const int out = open((m_dir + "/out").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            const int err = open((m_dir + "/err").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(out, 1);
            dup2(err, 2);
            std::vector<char*> argv{const_cast<char*>(TAV_SIM_DAEMON)};
            for (auto& a : args)
                argv.push_back(&a[0]);
            argv.push_back(nullptr);
            execv(TAV_SIM_DAEMON, argv.data());
            _exit(127);
        }
        close(in[0]);
        m_stdin = in[1];
    }
    ~SimProcess()
    {
        if (m_pid > 0 && !m_exited) {
            kill(m_pid, SIGKILL);
            waitpid(m_pid, nullptr, 0);
        }
        if (m_stdin >= 0)
            close(m_stdin);
    }

    void Type(const std::string& line)
    {
        const std::string text = line + "\n";
        EXPECT_EQ(write(m_stdin, text.data(), text.size()), static_cast<ssize_t>(text.size()));
    }
    // Exit status once it ended (waits up to timeoutMs), -1 if it did not.
    int Wait(int timeoutMs = 10000)
    {
        int status = 0;
        const bool ended = tavtest::WaitFor(
            [&] {
                if (waitpid(m_pid, &status, WNOHANG) != m_pid)
                    return false;
                m_exited = true;
                return true;
            },
            timeoutMs);
        return ended && WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }
    int Stop(int signal = SIGTERM)
    {
        kill(m_pid, signal);
        return Wait();
    }
    std::string Out() const { return tavtest::ReadFile(m_dir + "/out"); }
    std::string Err() const { return tavtest::ReadFile(m_dir + "/err"); }

private:
    std::string m_dir;
    pid_t m_pid = -1;
    int m_stdin = -1;
    bool m_exited = false;
};

// A raw application of one side.
class App {
public:
    App(const char* daemonName, const char* appIface, const char* daemonIface)
        : m_daemon(daemonName), m_appIface(appIface), m_daemonIface(daemonIface)
    {
        m_conn = rawpeer::Connect();
        rawpeer::AddMatch(m_conn, std::string("type='signal',interface='") + daemonIface + "'");
    }
    ~App() { rawpeer::Close(m_conn); }

    bool DaemonUp()
    {
        return tavtest::WaitFor([&] { return dbus_bus_name_has_owner(m_conn, m_daemon, nullptr); });
    }
    bool DaemonGone() { return !dbus_bus_name_has_owner(m_conn, m_daemon, nullptr); }

    // A blocking request with the raw text as argument; the reply envelope
    // (message "<no reply>" when none came).
    CIntfData CallText(const std::string& member, const char* text)
    {
        DBusMessage* m = dbus_message_new_method_call(m_daemon, "/orvelix/message/object",
                                                      m_appIface, member.c_str());
        if (text)
            dbus_message_append_args(m, DBUS_TYPE_STRING, &text, DBUS_TYPE_INVALID);
        DBusMessage* r = dbus_connection_send_with_reply_and_block(m_conn, m, 5000, nullptr);
        dbus_message_unref(m);
        CIntfData reply;
        if (!r || !reply.load(rawpeer::StringArg(r)))
            reply.SetMessage("<no reply>");
        if (r)
            dbus_message_unref(r);
        return reply;
    }
    CIntfData Call(const CIntfData& request)
    {
        std::string name, text;
        request.GetMessage(name);
        request.toString(text);
        return CallText(name, text.c_str());
    }
    void Signal(const CIntfData& request)
    {
        std::string name, text;
        request.GetMessage(name);
        request.toString(text);
        rawpeer::Signal(m_conn, m_appIface, name.c_str(), text.c_str());
    }
    void SignalText(const char* member, const char* text)
    {
        rawpeer::Signal(m_conn, m_appIface, member, text);
    }
    // Such a call is never handed to the daemon host, so nobody waits for
    // its answer here.
    void CallWithoutArgument(const char* member)
    {
        DBusMessage* m =
            dbus_message_new_method_call(m_daemon, "/orvelix/message/object", m_appIface, member);
        dbus_connection_send(m_conn, m, nullptr);
        dbus_connection_flush(m_conn);
        dbus_message_unref(m);
    }

    // The next count notifications named name (others are kept for later).
    std::vector<CIntfData> Take(const std::string& name, std::size_t count, int timeoutMs = 5000)
    {
        std::vector<CIntfData> got;
        auto fromBacklog = [&] {
            for (auto it = m_backlog.begin(); it != m_backlog.end() && got.size() < count;) {
                if (it->first == name) {
                    got.push_back(it->second);
                    it = m_backlog.erase(it);
                } else {
                    ++it;
                }
            }
        };
        fromBacklog();
        auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
        while (got.size() < count && std::chrono::steady_clock::now() < deadline) {
            DBusMessage* m = rawpeer::Next(
                m_conn, [&](DBusMessage* msg) { return rawpeer::IsSignalOn(msg, m_daemonIface); },
                50);
            if (!m)
                continue;
            CIntfData note;
            note.load(rawpeer::StringArg(m));
            m_backlog.emplace_back(rawpeer::Str(dbus_message_get_member(m)), note);
            dbus_message_unref(m);
            fromBacklog();
        }
        EXPECT_EQ(got.size(), count) << "notifications " << name;
        return got;
    }
    // Names of the notifications received but not taken yet.
    std::string Backlog()
    {
        std::string s;
        for (auto& b : m_backlog)
            s += b.first + " ";
        return s;
    }

private:
    DBusConnection* m_conn = nullptr;
    const char* m_daemon;
    const char* m_appIface;
    const char* m_daemonIface;
    std::deque<std::pair<std::string, CIntfData>> m_backlog;
};

CIntfData Req(const std::string& name, int opid, const std::string& student = "null")
{
    return CIntfData(name, opid, student);
}

int Result(const CIntfData& d)
{
    int r = -99;
    d.GetResult(r);
    return r;
}
int Op(const CIntfData& d)
{
    int r = -99;
    d.GetOperationID(r);
    return r;
}
std::string Name(const CIntfData& d)
{
    std::string s;
    d.GetMessage(s);
    return s;
}
std::string Student(const CIntfData& d)
{
    std::string s;
    d.GetStudentID(s);
    return s;
}
std::string Str(CIntfData d, const std::string& param)
{
    std::string s = "<absent>";
    d.m_ParaXml.getString(param, s);
    return s;
}
int Int(CIntfData d, const std::string& param)
{
    int v = -99;
    d.m_ParaXml.getInt(param, v);
    return v;
}
// "name op student result" of an envelope.
std::string Head(const CIntfData& d)
{
    return Name(d) + " " + std::to_string(Op(d)) + " " + Student(d) + " " +
           std::to_string(Result(d));
}

// The first notification as show() prints it; "<none>" when none came.
template <class Show>
std::string First(const std::vector<CIntfData>& notes, Show show)
{
    return notes.empty() ? "<none>" : show(notes[0]);
}
std::string Returned(const CIntfData& n)
{
    return Head(n) + " " + std::to_string(Int(n, "iReturn"));
}
std::string StudentStatus(const CIntfData& n)
{
    return Student(n) + " " + std::to_string(Int(n, "iStatus"));
}
std::string TeacherState(const CIntfData& n)
{
    return Str(n, "strTeacherID") + " " + std::to_string(Int(n, "iState"));
}

} // namespace

TEST(SimOptions, DefaultClassOfThree)
{
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"teacher"}, o, error)) << error;
    EXPECT_EQ(
        Ids(o.students),
        "S1/student1/pc-01/10.0.0.11 S2/student2/pc-02/10.0.0.12 S3/student3/pc-03/10.0.0.13 ");
    EXPECT_EQ(o.stepMs, 100);
}

// Options before and after the mode, in both forms; missing fields made up
// from the student's place in the class.
TEST(SimOptions, ListedStudentsAnywhereOnTheLine)
{
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"--student", "A,ann", "teacher", "--student=B,bob,hb,1.2.3.4", "--result",
                       "TEACHER_STOPCONTROLLER=-4", "--step-ms=0"},
                      o, error))
        << error;
    EXPECT_EQ(Ids(o.students), "A/ann/pc-01/10.0.0.11 B/bob/hb/1.2.3.4 ");
    EXPECT_EQ(o.results.at("TEACHER_STOPCONTROLLER"), -4);
    EXPECT_EQ(o.stepMs, 0);
}

TEST(SimOptions, ClassFileSkipsCommentsAndBlankLines)
{
    const std::string file = tavtest::MakeTempDir("class") + "/class.txt";
    tavtest::WriteFile(file, "# our class\n\nK1 kim\n  K2 kai host2 10.1.1.2  \n");
    SimOptions o;
    std::string error;
    ASSERT_TRUE(Parse({"teacher", "--class", file}, o, error)) << error;
    EXPECT_EQ(Ids(o.students), "K1/kim/pc-01/10.0.0.11 K2/kai/host2/10.1.1.2 ");
}

TEST(SimOptions, StudentMode)
{
    SimOptions o;
    std::string error;
    ASSERT_TRUE(
        Parse({"student", "--teachers", "T1,T2", "--connected", "T2", "--locked"}, o, error));
    EXPECT_EQ(o.teachers, (std::vector<std::string>{"T1", "T2"}));
    EXPECT_TRUE(o.locked);
    EXPECT_EQ(o.connectedTeacher, "T2");
}

// --help and --version end the parse: nothing after them is refused.
TEST(SimOptions, HelpAndVersionStopTheParse)
{
    SimOptions o;
    std::string error;
    bool help = false;
    EXPECT_TRUE(ParseOptions({"teacher", "--help", "--bogus"}, o, error, help));
    EXPECT_TRUE(help);
    EXPECT_TRUE(ParseOptions({"--version"}, o, error, help));
    EXPECT_TRUE(o.showVersion);
}

TEST(SimOptions, BadLinesAreRefusedWithTheReason)
{
    const std::string file = tavtest::MakeTempDir("class") + "/class.txt";
    tavtest::WriteFile(file, "K1\nK1 again\n");
    const std::string fifo = file + ".fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    const std::map<std::vector<std::string>, std::string> refused = {
        {{}, "missing mode: teacher or student"},
        {{"parent"}, "unknown mode 'parent' (teacher or student)"},
        {{"teacher", "student"}, "unexpected argument 'student'"},
        {{"teacher", "--students"}, "--students needs a value (N)"},
        {{"teacher", "--students", "0"}, "--students needs a whole number from 1 to 1000, not '0'"},
        {{"teacher", "--students", "2x"},
         "--students needs a whole number from 1 to 1000, not '2x'"},
        {{"teacher", "--students", "2", "--student", "A"},
         "--students cannot be combined with --student or --class"},
        {{"teacher", "--student", "A B"},
         "--student A B: invalid student field 'A B' (1 to 64 characters, no blanks)"},
        {{"teacher", "--student", std::string(65, 'x')},
         "--student " + std::string(65, 'x') + ": invalid student field '" + std::string(65, 'x') +
             "' (1 to 64 characters, no blanks)"},
        {{"teacher", "--class", file}, file + ":2: student K1 is listed twice"},
        {{"teacher", "--class", "/nonexistent/class"},
         "cannot read class file /nonexistent/class: No such file or directory"},
        // Neither waits for a writer nor reads without end.
        {{"teacher", "--class", fifo},
         "cannot read class file " + fifo + ": a FIFO, not a regular file"},
        {{"teacher", "--class", "/dev/zero"},
         "cannot read class file /dev/zero: a character device, not a regular file"},
        {{"teacher", "--result", "NAME"},
         "--result needs NAME=CODE with a message name and a number, not 'NAME'"},
        {{"teacher", "--result", "BAD NAME=1"},
         "--result needs NAME=CODE with a message name and a number, not 'BAD NAME=1'"},
        {{"teacher", "--step-ms", "-1"},
         "--step-ms needs a whole number from 0 to 60000, not '-1'"},
        {{"teacher", "--locked=yes"}, "--locked takes no value"},
        {{"teacher", "--frobnicate"}, "unknown option --frobnicate"},
        {{"teacher", "--log", "../x"}, "invalid log name '../x'"},
        {{"student", "--students", "3"},
         "--students, --student and --class are for the teacher mode"},
        {{"student", "--teachers", "T1,,T2"},
         "invalid teacher id '' (1 to 64 characters, no blanks)"},
    };
    for (const auto& r : refused) {
        SimOptions fresh;
        std::string error;
        EXPECT_FALSE(Parse(r.first, fresh, error)) << r.second;
        EXPECT_EQ(error, r.second);
    }
}

TEST(ProgramListing, LaunchersAndProgramsOfOneFolder)
{
    const std::string dir = ProgramsFolder();
    const tavtools::ProgramListing listing = tavtools::ListPrograms(dir);
    ASSERT_TRUE(listing.listed) << listing.error;
    EXPECT_EQ(listing.count, 3);
    EXPECT_EQ(Programs(listing.xml),
              "Calc 100%%|calc|;Editor|/usr/bin/edit --new|accessories-text-editor;tool.sh|" + dir +
                  "/tool.sh|;");
    for (const std::string& unreadable : {dir + "/missing", std::string("relative/folder")}) {
        const tavtools::ProgramListing none = tavtools::ListPrograms(unreadable);
        EXPECT_FALSE(none.listed) << unreadable;
        EXPECT_EQ(none.count, 0);
        EXPECT_FALSE(none.error.empty());
    }
}

// A folder prepared by another user: launchers that would make the daemon
// wait (a FIFO, a link to one) or read without end are skipped, and no link
// is followed, not even one to an executable.
TEST(ProgramListing, PlantedLaunchersAreSkippedUnread)
{
    const std::string dir = ProgramsFolder();
    ASSERT_EQ(mkfifo((dir + "/fifo.desktop").c_str(), 0644), 0);
    ASSERT_EQ(symlink("fifo.desktop", (dir + "/to-fifo.desktop").c_str()), 0);
    ASSERT_EQ(symlink("/dev/zero", (dir + "/zero.desktop").c_str()), 0);
    ASSERT_TRUE(tavtest::WriteFile(dir + "/big.desktop", "[Desktop Entry]\nName=Big\nExec=big\n" +
                                                             std::string(64 * 1024, '#')));
    ASSERT_EQ(symlink("tool.sh", (dir + "/tool-link").c_str()), 0);
    const tavtools::ProgramListing listing = tavtools::ListPrograms(dir);
    EXPECT_EQ(Programs(listing.xml),
              "Calc 100%%|calc|;Editor|/usr/bin/edit --new|accessories-text-editor;tool.sh|" + dir +
                  "/tool.sh|;");
}

namespace {

// What the simulated daemon lists for ProgramsFolder() at dir.
std::string Listing(const std::string& dir)
{
    return "Calc 100%%|calc|;Editor|/usr/bin/edit --new|accessories-text-editor;tool.sh|" + dir +
           "/tool.sh|;";
}

std::string LockDocument()
{
    LibTAVData::CLockScheduleData policy;
    policy.SetAutoLock(1);
    return Document(policy);
}

std::string ClassLocks(App& app, int opid)
{
    std::list<tagStudent_t> students;
    app.Call(Req("TEACHER_GETSTUDENTLIST", opid)).m_ParaXml.getStudentInfoList(students);
    std::string locked;
    for (const auto& s : students)
        locked += std::to_string(s.bLocked);
    return locked;
}

// A simulated daemon of one side, started afresh for each test, and a raw
// application of that side.
class SimDaemonTest : public ::testing::Test {
protected:
    void Start(std::vector<std::string> args, bool teacher)
    {
        m_sim.reset(new SimProcess(std::move(args)));
        if (teacher)
            m_app.reset(
                new App("tav.teacher.daemon", "tav.teacherapp.type", "tav.teacherdaemon.type"));
        else
            m_app.reset(
                new App("tav.student.daemon", "tav.studentapp.type", "tav.studentdaemon.type"));
        ASSERT_TRUE(m_app->DaemonUp()) << m_sim->Err();
    }
    SimProcess& Sim() { return *m_sim; }
    App& Application() { return *m_app; }

    std::unique_ptr<SimProcess> m_sim;
    std::unique_ptr<App> m_app;
};

// The teacher daemon with a class of three from a file, a search folder,
// results configured for two requests, and a log of its own.
class SimTeacherDaemon : public SimDaemonTest {
protected:
    void SetUp() override
    {
        m_programs = ProgramsFolder();
        const std::string classFile = tavtest::MakeTempDir("class") + "/class.txt";
        tavtest::WriteFile(classFile,
                           "S1 ann pc-01 10.0.0.1\nS2 bob pc-02 10.0.0.2\nS3 cy pc-03 10.0.0.3\n");
        Start({"teacher", "--class", classFile, "--step-ms", "200", "--programs", m_programs,
               "--result", "TEACHER_STOPCONTROLLER=4", "--result",
               "TEACHER_MANUALUNLOCKREMOTESTUDEN=6", "--log", "teacher-sim"},
              true);
    }
    std::string m_programs;
};

// The student daemon knowing two teachers, its search answer configured to
// fail with 3.
class SimStudentDaemon : public SimDaemonTest {
protected:
    void SetUp() override
    {
        m_programs = ProgramsFolder();
        Start({"student", "--teachers", "T1,T2", "--step-ms", "200", "--result",
               "SEARCHTEACHERCALLBACK=3"},
              false);
    }
    std::string m_programs;
};

} // namespace

// A reply repeats the request's name and operation id; its result is 0 or
// the one configured.
TEST_F(SimTeacherDaemon, RepliesRepeatNameAndOperation)
{
    EXPECT_EQ(Head(Application().Call(Req("TEACHER_STARTCONTROLLER", 11))),
              "TEACHER_STARTCONTROLLER 11 null 0");
    EXPECT_EQ(Head(Application().Call(Req("TEACHER_STOPCONTROLLER", 12))),
              "TEACHER_STOPCONTROLLER 12 null 4");
}

TEST_F(SimTeacherDaemon, ClassRecordsFromTheClassFile)
{
    App& app = Application();
    CIntfData r = app.Call(Req("TEACHER_GETSTUDENTLIST", 13));
    std::list<tagStudent_t> students;
    EXPECT_TRUE(r.m_ParaXml.getStudentInfoList(students));
    EXPECT_EQ(Ids(students), "S1/ann/pc-01/10.0.0.1 S2/bob/pc-02/10.0.0.2 S3/cy/pc-03/10.0.0.3 ");
    ASSERT_FALSE(students.empty());
    EXPECT_EQ(students.front().status, 1);
    EXPECT_GT(students.front().start_time, 0);

    r = app.Call(Req("TEACHER_GETSTUDENTSTATUS", 14, "S2"));
    EXPECT_EQ(Head(r), "TEACHER_GETSTUDENTSTATUS 14 S2 0");
    students.clear();
    r.m_ParaXml.getStudentInfoList(students);
    EXPECT_EQ(Ids(students), "S2/bob/pc-02/10.0.0.2 ");
    EXPECT_EQ(Head(app.Call(Req("TEACHER_GETSTUDENTSTATUS", 15, "S9"))),
              "TEACHER_GETSTUDENTSTATUS 15 S9 1");
}

// Requests answered 0 with their parameters, 1 without; passwords never
// reach the log or the output.
TEST_F(SimTeacherDaemon, RequestsNeedTheirParameters)
{
    const std::map<std::string, std::map<std::string, std::string>> plain = {
        {"TEACHER_UPDATETEACHERINFO",
         {{"teacherInfoXML", Document(LibTAVData::CTeacherInfoData())}}},
        {"TEACHER_CHANGEPASSWORD", {{"OldPassword", "old-secret"}, {"NewPassword", "new-secret"}}},
        {"TEACHER_IMPORTCERTIFICATE", {{"Path", "/tmp/c.pem"}}},
        {"TEACHER_VERIFYPASSWORD", {{"Password", "pw-secret"}, {"path", ""}}},
        {"TEACHER_VERIFYCERTIFICATE", {{"path", "/tmp/c.pem"}}},
    };
    int opid = 20;
    for (const auto& p : plain) {
        CIntfData q = Req(p.first, ++opid);
        for (const auto& param : p.second)
            q.m_ParaXml.setString(param.first, param.second);
        EXPECT_EQ(Head(Application().Call(q)), p.first + " " + std::to_string(opid) + " null 0");
        EXPECT_EQ(Result(Application().Call(Req(p.first, ++opid))), 1) << p.first;
    }
    EXPECT_EQ(Sim().Stop(SIGTERM), 0);
    const std::string log = tavtest::ReadFile(tavtest::Home() + "/TAVLog/teacher-sim.log");
    for (const char* secret : {"old-secret", "new-secret", "pw-secret"}) {
        EXPECT_EQ(log.find(secret), std::string::npos) << secret;
        EXPECT_EQ(Sim().Out().find(secret), std::string::npos) << secret;
    }
}

// Unknown names and what is no envelope are answered with a failure and
// logged; malformed signals and calls are survived.
TEST_F(SimTeacherDaemon, UnknownAndMalformedTrafficIsSurvived)
{
    App& app = Application();
    EXPECT_EQ(Head(app.Call(Req("TEACHER_DANCE", 30, "S1"))), "TEACHER_DANCE 30 S1 1");
    EXPECT_EQ(Head(app.CallText("TEACHER_GETSTUDENTLIST", "garbage")),
              "TEACHER_GETSTUDENTLIST 0  1");
    app.SignalText("TEACHER_KICKOFFSTUDENT", nullptr);
    app.SignalText("TEACHER_KICKOFFSTUDENT", "short");
    app.SignalText("NO_SUCH_REQUEST", "short");
    app.CallWithoutArgument("TEACHER_STARTCONTROLLER");
    EXPECT_EQ(Head(app.Call(Req("TEACHER_STARTCONTROLLER", 31))),
              "TEACHER_STARTCONTROLLER 31 null 0");
    EXPECT_EQ(app.Backlog(), "");
    const std::string log = tavtest::ReadFile(tavtest::Home() + "/TAVLog/teacher-sim.log");
    EXPECT_NE(log.find("tav-sim-daemon: request TEACHER_DANCE op 30 student 'S1' (blocking)"),
              std::string::npos);
    EXPECT_NE(
        log.find(
            "tav-sim-daemon: request TEACHER_DANCE: unknown message name, answered with result 1"),
        std::string::npos);
}

// One answer per addressed student: an unknown one fails, a policy that
// does not load fails everywhere, "null" addresses the whole class.
TEST_F(SimTeacherDaemon, DeploymentsAnswerEachAddressedStudent)
{
    App& app = Application();
    CIntfData deploy = Req("TEACHER_DEPLOYSCHEDULEPOLICYLIST", 40, "");
    std::list<std::string> ids{"S1", "S3", "S7"};
    deploy.m_ParaXml.setListPara(ids);
    deploy.m_ParaXml.setString("schedulePolicyXML", LockDocument());
    app.Signal(deploy);
    std::string seen;
    for (const auto& n : app.Take("TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK", 3))
        seen += Head(n) + " " + Str(n, "bSuccess") + "; ";
    EXPECT_EQ(seen, "TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK 40 S1 0 TRUE; "
                    "TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK 40 S3 0 "
                    "TRUE; TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK 40 S7 1 FALSE; ");

    CIntfData tabnav = Req("TEACHER_DEPLOYTABNAVPOLICY", 42); // "null": the whole class
    tabnav.m_ParaXml.setString("tabNavPolicyXML", "<not a policy");
    app.Signal(tabnav);
    seen.clear();
    for (const auto& n : app.Take("TEACHER_DEPLOYTABNAVPOLICYCALLBACK", 3))
        seen += Student(n) + " " + Str(n, "bSuccess") + "; ";
    EXPECT_EQ(seen, "S1 FALSE; S2 FALSE; S3 FALSE; ");
}

// A student's lock policy is an empty schedule at first, then the one last
// deployed to it.
TEST_F(SimTeacherDaemon, LockPolicyIsTheLastOneDeployed)
{
    App& app = Application();
    CIntfData r = app.Call(Req("TEACHER_GETSTUDENTLOCKPOLICY", 16, "S1"));
    EXPECT_EQ(Result(r), 0);
    LibTAVData::CLockScheduleData policy;
    EXPECT_EQ(policy.LoadFromString(Str(r, "lockPolicy")), 0);

    CIntfData deploy = Req("TEACHER_DEPLOYSCHEDULEPOLICY", 40, "S3");
    deploy.m_ParaXml.setString("schedulePolicyXML", LockDocument());
    app.Signal(deploy);
    app.Take("TEACHER_DEPLOYSCHEDULEPOLICYCALLBACK", 1);
    EXPECT_EQ(Str(app.Call(Req("TEACHER_GETSTUDENTLOCKPOLICY", 41, "S3")), "lockPolicy"),
              LockDocument());
}

// A remote lock locks the student; an unlock that fails (configured to 6)
// leaves it locked.
TEST_F(SimTeacherDaemon, FailedUnlockLeavesTheStudentLocked)
{
    App& app = Application();
    CIntfData lock = Req("TEACHER_MANUALLOCKREMOTESTUDENT", 43, "S2");
    lock.m_ParaXml.setString("lockPolicy", LockDocument());
    app.Signal(lock);
    EXPECT_EQ(First(app.Take("TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK", 1), Returned),
              "TEACHER_MANUALLOCKREMOTESTUDENTCALLBACK 43 S2 0 0");
    EXPECT_EQ(ClassLocks(app, 44), "010");
    app.Signal(Req("TEACHER_MANUALUNLOCKREMOTESTUDEN", 45, "S2"));
    EXPECT_EQ(First(app.Take("TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK", 1), Returned),
              "TEACHER_MANUALUNLOCKREMOTESTUDENTCALLBACK 45 S2 6 6");
    EXPECT_EQ(ClassLocks(app, 46), "010");
}

TEST_F(SimTeacherDaemon, KickOffAnswersThenTheStatusChanges)
{
    App& app = Application();
    app.Signal(Req("TEACHER_KICKOFFSTUDENT", 46, "S3"));
    EXPECT_EQ(First(app.Take("TEACHER_KICKOFFSTUDENTCALLBACK", 1), Returned),
              "TEACHER_KICKOFFSTUDENTCALLBACK 46 S3 0 0");
    EXPECT_EQ(First(app.Take("TEACHER_NOTIFYSTUDENTSTATUSCHANGED", 1), StudentStatus), "S3 0");
}

// A search: one programs document per student (the fallback folder for a
// folder that cannot be read); an offline student answers 1 without one.
TEST_F(SimTeacherDaemon, SearchAnswersForEveryStudent)
{
    App& app = Application();
    Sim().Type("status S3 0");
    EXPECT_EQ(First(app.Take("TEACHER_NOTIFYSTUDENTSTATUSCHANGED", 1), StudentStatus), "S3 0");
    CIntfData search = Req("TEACHER_SEARCHPROGRAM", 47);
    search.m_ParaXml.setString("targetFolder", "/nonexistent/folder");
    app.Signal(search);
    std::string seen;
    for (const auto& n : app.Take("TEACHER_SEARCHPROGRAMCALLBACK", 3))
        seen += Head(n) + " " +
                (Result(n) == 0 ? Programs(Str(n, "programsXML")) : Str(n, "programsXML")) + "\n";
    EXPECT_EQ(seen, "TEACHER_SEARCHPROGRAMCALLBACK 47 S1 0 " + Listing(m_programs) +
                        "\nTEACHER_SEARCHPROGRAMCALLBACK 47 S2 0 " + Listing(m_programs) +
                        "\nTEACHER_SEARCHPROGRAMCALLBACK 47 S3 1 <absent>\n");
}

// A cancelled search answers no more; the next one shows the order.
TEST_F(SimTeacherDaemon, CancelledSearchAnswersNoMore)
{
    App& app = Application();
    CIntfData search = Req("TEACHER_SEARCHPROGRAM", 48);
    search.m_ParaXml.setString("targetFolder", m_programs);
    app.Signal(search);
    CIntfData cancel = Req("TEACHER_CANCELOPERATION", 49);
    cancel.m_ParaXml.setInt("OID", 48);
    EXPECT_EQ(Head(app.Call(cancel)), "TEACHER_CANCELOPERATION 49 null 0");
    search.SetOperationID(50);
    app.Signal(search);
    std::string seen;
    for (const auto& n : app.Take("TEACHER_SEARCHPROGRAMCALLBACK", 3))
        seen += std::to_string(Op(n)) + " ";
    EXPECT_EQ(seen, "50 50 50 ");
}

// New students are announced on request and join when allowed.
TEST_F(SimTeacherDaemon, NewStudentJoinsWhenAllowed)
{
    App& app = Application();
    Sim().Type("new-student S9 zoe pc-09 10.0.0.9");
    EXPECT_EQ(First(app.Take("TEACHER_CONTROLNEWSTUDENTCONNECTCALLBACK", 1),
                    [](CIntfData n) {
                        std::list<tagStudent_t> one;
                        n.m_ParaXml.getStudentInfoList(one);
                        return Student(n) + " " + Ids(one);
                    }),
              "S9 S9/zoe/pc-09/10.0.0.9 ");
    CIntfData allow = Req("TEACHER_CONTROLNEWSTUDENTCONNECT", 51, "S9");
    allow.m_ParaXml.setString("allow", "TRUE");
    app.Signal(allow);
    EXPECT_EQ(First(app.Take("TEACHER_NOTIFYSTUDENTSTATUSCHANGED", 1), StudentStatus), "S9 1");
    std::list<tagStudent_t> students;
    app.Call(Req("TEACHER_GETSTUDENTLIST", 52)).m_ParaXml.getStudentInfoList(students);
    EXPECT_EQ(students.size(), 4u);
}

// A status typed on standard input is announced; an unknown command is
// refused on standard error and sends nothing.
TEST_F(SimTeacherDaemon, StandardInputCommands)
{
    App& app = Application();
    Sim().Type("status S1 7");
    EXPECT_EQ(First(app.Take("TEACHER_NOTIFYSTUDENTSTATUSCHANGED", 1), StudentStatus), "S1 7");
    Sim().Type("dance");
    EXPECT_TRUE(tavtest::WaitFor([&] {
        return Sim().Err().find("unknown command 'dance'") != std::string::npos;
    })) << Sim().Err();
    EXPECT_EQ(app.Backlog(), "");
}

TEST_F(SimTeacherDaemon, SigtermStopsItAndReleasesTheName)
{
    EXPECT_EQ(Sim().Stop(SIGTERM), 0);
    EXPECT_TRUE(Application().DaemonGone());
    const std::string out = Sim().Out();
    EXPECT_NE(out.find("teacher daemon with 3 students ready as tav.teacher.daemon"),
              std::string::npos);
    EXPECT_NE(out.find("tav-sim-daemon: stopped"), std::string::npos);
}

TEST_F(SimStudentDaemon, BlockingRequests)
{
    App& app = Application();
    EXPECT_EQ(Head(app.Call(Req("STUDENT_SWITCHTONORMALOS", 1))),
              "STUDENT_SWITCHTONORMALOS 1 null 0");
    CIntfData verify = Req("VERIFYUSERPASSWORD", 2);
    verify.m_ParaXml.setString("UserName", "u");
    verify.m_ParaXml.setString("Password", "p-secret");
    EXPECT_EQ(Head(app.Call(verify)), "VERIFYUSERPASSWORD 2 null 0");
    EXPECT_EQ(Result(app.Call(Req("VERIFYUSERPASSWORD", 3))), 1);
    CIntfData r = app.Call(Req("GETCONNECTEDTEACHER", 4));
    EXPECT_EQ(Head(r) + " '" + Str(r, "strTeacherID") + "'", "GETCONNECTEDTEACHER 4 null 0 ''");
    EXPECT_EQ(Sim().Stop(SIGTERM), 0);
    EXPECT_EQ(Sim().Out().find("p-secret"), std::string::npos);
}

// Documents are checked with their data classes; a policy saved locally is
// announced.
TEST_F(SimStudentDaemon, DocumentsAreCheckedAndSavedPoliciesAnnounced)
{
    App& app = Application();
    const std::map<std::string, std::string> documents = {
        {"HARDWARECONTROL", Document(LibTAVData::CTAVSystemSettingData())},
        {"SAVESTUDENTINFO",
         [] {
             LibTAVData::CStudentInfoData info;
             info.SetStudentID("S1");
             info.SetStudentName("ann");
             return Document(info);
         }()},
        {"SAVELOCALSCHEDULEPOLICY", Document(LibTAVData::CLockScheduleData())},
        {"SAVELOCALTABNAVPOLICY", Document(LibTAVData::CTabNavigationData())},
    };
    int opid = 10;
    for (const auto& d : documents) {
        CIntfData q = Req(d.first, ++opid);
        q.m_ParaXml.setString("strXML", d.second);
        EXPECT_EQ(Head(app.Call(q)), d.first + " " + std::to_string(opid) + " null 0");
        CIntfData bad = Req(d.first, ++opid);
        bad.m_ParaXml.setString("strXML", "<nothing/>");
        EXPECT_EQ(Result(app.Call(bad)), 1) << d.first;
    }
    app.Take("NOTIFYSCHEDULEPOLICYCHANGED", 1);
    app.Take("NOTIFYTABNAVPOLICYCHANGED", 1);
    EXPECT_EQ(app.Backlog(), "");
}

TEST_F(SimStudentDaemon, LocalLockAndUnlockAreAnnounced)
{
    App& app = Application();
    CIntfData lock = Req("MANUALLOCKLOCALSTUDENT", 20);
    lock.m_ParaXml.setString("lockPolicy", Document(LibTAVData::CLockScheduleData()));
    EXPECT_EQ(Head(app.Call(lock)), "MANUALLOCKLOCALSTUDENT 20 null 0");
    EXPECT_EQ(Head(app.Call(Req("MANUALUNLOCKLOCALSTUDENT", 21))),
              "MANUALUNLOCKLOCALSTUDENT 21 null 0");
    std::string seen;
    for (const auto& n : app.Take("NOTIFYLOCKSTATUSCHANGED", 2))
        seen += Str(n, "bLock") + " ";
    EXPECT_EQ(seen, "TRUE FALSE ");
}

// The teacher search lists --teachers, with the result configured (3).
TEST_F(SimStudentDaemon, TeacherSearchListsTheTeachers)
{
    Application().Signal(Req("SEARCHTEACHER", 22));
    EXPECT_EQ(First(Application().Take("SEARCHTEACHERCALLBACK", 1),
                    [](CIntfData n) {
                        std::list<std::string> teachers;
                        n.m_ParaXml.getListPara(teachers);
                        std::string s = Head(n);
                        for (const auto& t : teachers)
                            s += " " + t;
                        return s;
                    }),
              "SEARCHTEACHERCALLBACK 22 null 3 T1 T2");
}

// A known teacher is joined (its state changes to 1), an unknown one
// answers 1; disconnecting changes the state to 0.
TEST_F(SimStudentDaemon, ConnectingAndDisconnectingChangeTheTeachersState)
{
    App& app = Application();
    CIntfData connect = Req("CONNECTTEACHER", 23);
    connect.m_ParaXml.setString("strTeacherID", "T2");
    app.Signal(connect);
    connect.SetOperationID(24);
    connect.m_ParaXml.clear();
    connect.m_ParaXml.setString("strTeacherID", "T7");
    app.Signal(connect);
    std::string seen;
    for (const auto& n : app.Take("CONNECTTEACHERCALLBACK", 2))
        seen += std::to_string(Op(n)) + " " + Str(n, "strTeacherID") + " " +
                std::to_string(Int(n, "iReturn")) + "; ";
    EXPECT_EQ(seen, "23 T2 0; 24 T7 1; ");
    EXPECT_EQ(First(app.Take("NOTIFYTEACHERSTATUSCHANGED", 1), TeacherState), "T2 1");
    EXPECT_EQ(Str(app.Call(Req("GETCONNECTEDTEACHER", 25)), "strTeacherID"), "T2");
    EXPECT_EQ(Result(app.Call(Req("DISCONNECTSTUDENT", 26))), 0);
    EXPECT_EQ(First(app.Take("NOTIFYTEACHERSTATUSCHANGED", 1), TeacherState), "T2 0");
}

// A local search over a real folder; a cancelled one answers nothing.
TEST_F(SimStudentDaemon, LocalSearchListsTheFolderUnlessCancelled)
{
    App& app = Application();
    CIntfData search = Req("SEARCHLOCALPROGRAM", 27);
    search.m_ParaXml.setString("targetFolder", m_programs);
    app.Signal(search);
    search.SetOperationID(28);
    app.Signal(search);
    CIntfData cancel = Req("STUDENT_CANCELOPERATION", 29);
    cancel.m_ParaXml.setInt("OID", 28);
    EXPECT_EQ(Result(app.Call(cancel)), 0);
    search.SetOperationID(30);
    app.Signal(search);
    std::string seen;
    for (const auto& n : app.Take("SEARCHLOCALPROGRAMCALLBACK", 2))
        seen += std::to_string(Op(n)) + " " + Programs(Str(n, "programsXML")) + "\n";
    EXPECT_EQ(seen, "27 " + Listing(m_programs) + "\n30 " + Listing(m_programs) + "\n");
}

// Changes typed on standard input are announced; quit ends it like a
// signal.
TEST_F(SimStudentDaemon, StandardInputCommands)
{
    App& app = Application();
    Sim().Type("lock");
    Sim().Type("teacher-state 5");
    Sim().Type("schedule-changed");
    EXPECT_EQ(
        First(app.Take("NOTIFYLOCKSTATUSCHANGED", 1), [](CIntfData n) { return Str(n, "bLock"); }),
        "TRUE");
    EXPECT_EQ(First(app.Take("NOTIFYTEACHERSTATUSCHANGED", 1), TeacherState), "T1 5");
    app.Take("NOTIFYSCHEDULEPOLICYCHANGED", 1);
    EXPECT_EQ(app.Backlog(), "");
    Sim().Type("quit");
    EXPECT_EQ(Sim().Wait(), 0);
    EXPECT_TRUE(app.DaemonGone());
}

// A second daemon of a side is refused; the first still serves, and SIGINT
// ends it cleanly.
TEST(SimDaemonProcess, SecondInstanceIsRefused)
{
    SimProcess first({"student"});
    App app("tav.student.daemon", "tav.studentapp.type", "tav.studentdaemon.type");
    ASSERT_TRUE(app.DaemonUp());
    SimProcess second({"student"});
    EXPECT_EQ(second.Wait(), 1);
    EXPECT_EQ(second.Err(), "tav-sim-daemon: another daemon already owns tav.student.daemon on "
                            "this bus; a second instance is "
                            "not started\n");
    EXPECT_EQ(Head(app.Call(Req("STUDENT_SWITCHTONORMALOS", 1))),
              "STUDENT_SWITCHTONORMALOS 1 null 0");
    EXPECT_EQ(first.Stop(SIGINT), 0);
    EXPECT_TRUE(app.DaemonGone());
}

// Exit status 0 for --help, 2 for bad options, 1 without a bus.
TEST(SimDaemonProcess, ExitStatusOfHelpBadOptionsAndNoBus)
{
    SimProcess help({"--help"});
    EXPECT_EQ(help.Wait(), 0);
    EXPECT_EQ(help.Out().rfind("usage: tav-sim-daemon teacher|student [options]\n", 0), 0u);
    SimProcess bad({"teacher", "--students", "many"});
    EXPECT_EQ(bad.Wait(), 2);
    EXPECT_EQ(bad.Err(), "tav-sim-daemon: --students needs a whole number from 1 to 1000, not "
                         "'many' (try --help)\n");
    SimProcess nobus({"teacher", "--bus", "unix:path=/nonexistent/socket"});
    EXPECT_EQ(nobus.Wait(), 1);
    EXPECT_EQ(nobus.Err().rfind("tav-sim-daemon: cannot reach the system bus: ", 0), 0u);
}
