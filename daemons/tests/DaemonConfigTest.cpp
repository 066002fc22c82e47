// The daemons' configuration file and topic spelling.
#include "DaemonConfig.h"
#include "TestSupport.h"
#include "Topics.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <sstream>
#include <string>
#include <vector>

namespace {

using tavd::DaemonConfig;
using tavd::DaemonRole;

std::string Write(const std::string& name, const std::string& text)
{
    const std::string path = tavtest::TempRoot() + "/" + name;
    EXPECT_TRUE(tavtest::WriteFile(path, text));
    return path;
}

TEST(DaemonConfig, FileOverridesTheRoleDefaults)
{
    const std::string path = Write("student.conf", "# a student machine\n"
                                                   "\n"
                                                   "   class=5A\n"
                                                   "student_id =  S-1_b  \n"
                                                   "broker_port = 18883\r\n"
                                                   "\tkeepalive\t=\t7\n"
                                                   "usb_rule_file = /etc/modprobe.d/tav usb.conf\n"
                                                   "discovery = no\n"
                                                   "auto_connect = no\n");
    DaemonConfig c;
    std::vector<std::string> errors;
    ASSERT_TRUE(tavd::LoadDaemonConfig(path, DaemonRole::Student, c, errors));
    EXPECT_TRUE(errors.empty());
    EXPECT_EQ(c.className, "5A");
    EXPECT_EQ(c.studentId, "S-1_b");
    EXPECT_EQ(c.brokerPort, 18883);
    EXPECT_EQ(c.keepalive, 7);
    EXPECT_EQ(c.usbRuleFile, "/etc/modprobe.d/tav usb.conf");
    EXPECT_FALSE(c.discovery);
    EXPECT_FALSE(c.autoConnect);
    // Not given: the documented defaults.
    EXPECT_EQ(c.brokerHost, "localhost");
    EXPECT_EQ(c.caFile, "/etc/TAV/credentials/ca.crt");
    EXPECT_EQ(c.adminGroup, "tav-admin");
    EXPECT_EQ(c.stateDir, "/var/lib/tav-studentd");

    const std::string teacher =
        Write("teacher.conf", "teacher_password_file = /srv/pw\nclass = 5A\nauto_connect = no\n");
    ASSERT_TRUE(tavd::LoadDaemonConfig(teacher, DaemonRole::Teacher, c, errors));
    EXPECT_EQ(c.teacherPasswordFile, "/srv/pw");
    EXPECT_EQ(c.teacherGroup, "tav-teacher");
    EXPECT_FALSE(c.autoConnect);
    EXPECT_EQ(c.keepalive, 5);
    EXPECT_TRUE(c.discovery);
    EXPECT_TRUE(c.studentId.empty());
}

// The shipped samples show every key, commented out with its default.
TEST(DaemonConfig, SampleFilesShowEveryKeyWithItsDefault)
{
    for (const DaemonRole role : {DaemonRole::Teacher, DaemonRole::Student}) {
        const bool student = role == DaemonRole::Student;
        const std::string sample = tavtest::ReadFile(
            std::string(TAV_SAMPLE_DIR) + (student ? "/tav-studentd.conf" : "/tav-teacherd.conf"));
        std::string uncommented;
        std::istringstream in(sample);
        for (std::string line; std::getline(in, line);)
            if (line.size() > 1 && line[0] == '#' && line[1] != ' ' &&
                line.find('=') != std::string::npos)
                uncommented += line.substr(1) + "\n";
        DaemonConfig c;
        std::vector<std::string> errors;
        ASSERT_TRUE(tavd::ParseDaemonConfig(uncommented, "sample", role, c, errors))
            << errors.front();
        DaemonConfig d = DaemonConfig::Defaults(role);
        d.studentId = c.studentId; // the sample's example id
        EXPECT_EQ(c.brokerHost, d.brokerHost);
        EXPECT_EQ(c.brokerPort, d.brokerPort);
        EXPECT_EQ(c.className, d.className);
        EXPECT_EQ(c.caFile + c.certFile + c.keyFile, d.caFile + d.certFile + d.keyFile);
        EXPECT_EQ(c.keepalive, d.keepalive);
        EXPECT_EQ(c.autoConnect, d.autoConnect);
        EXPECT_EQ(c.stateDir, d.stateDir);
        EXPECT_EQ(c.discovery, d.discovery);
        EXPECT_EQ(c.adminGroup + c.usbRuleFile + c.modprobe,
                  d.adminGroup + d.usbRuleFile + d.modprobe);
        EXPECT_EQ(c.teacherPasswordFile + c.teacherGroup, d.teacherPasswordFile + d.teacherGroup);
        EXPECT_EQ(std::count(uncommented.begin(), uncommented.end(), '\n'), student ? 14 : 12);
    }
}

TEST(DaemonConfig, EveryBadLineIsReportedWithFileAndLineAndNothingIsTaken)
{
    const std::string path = Write("bad.conf",
                                   "class = 5A\n"                      // 1 fine
                                   "colour = blue\n"                   // 2 unknown
                                   "teacher_password_file = /etc/pw\n" // 3 other role's key
                                   "broker_port = 70000\n"             // 4 out of range
                                   "student_id = S1\n"                 // 5 fine
                                   "class = 5B\n"                      // 6 twice
                                   "just some words\n"                 // 7 no =
                                   "ca_file = credentials/ca.crt\n"    // 8 relative
                                   "cert_file =\n"                     // 9 empty
                                   "keepalive = 4\n"            // 10 below libmosquitto's floor
                                   "broker_host = teacher pc\n" // 11 blank inside
                                   "admin_group = wheel;rm\n"   // 12 not a group
                                   "auto_connect = maybe\n"     // 13 neither yes nor no
                                   "discovery = YES\n");        // 14 yes or no only
    DaemonConfig c = DaemonConfig::Defaults(DaemonRole::Student);
    c.className = "untouched";
    std::vector<std::string> errors;
    EXPECT_FALSE(tavd::LoadDaemonConfig(path, DaemonRole::Student, c, errors));
    EXPECT_EQ(c.className, "untouched");
    const std::vector<int> badLines = {2, 3, 4, 6, 7, 8, 9, 10, 11, 12, 13, 14};
    ASSERT_EQ(errors.size(), badLines.size());
    for (std::size_t i = 0; i < badLines.size(); ++i)
        EXPECT_EQ(errors[i].rfind(path + ":" + std::to_string(badLines[i]) + ": ", 0), 0u)
            << errors[i];
    EXPECT_NE(errors[1].find("unknown key 'teacher_password_file'"), std::string::npos);
    EXPECT_NE(errors[3].find("given again (first on line 1)"), std::string::npos);

    // Reserved names are no student ids.
    for (const char* id : {"all", "teacher", "S/1", "S+1"}) {
        const std::string p = Write("id.conf", std::string("student_id = ") + id + "\n");
        EXPECT_FALSE(tavd::LoadDaemonConfig(p, DaemonRole::Student, c, errors)) << id;
    }
}

TEST(DaemonConfig, OnlyASmallRegularFileIsRead)
{
    DaemonConfig c;
    std::vector<std::string> errors;
    const std::string real = Write("real.conf", "class = 5A\n");
    const std::string link = tavtest::TempRoot() + "/link.conf";
    ASSERT_EQ(::symlink(real.c_str(), link.c_str()), 0);
    const std::string fifo = tavtest::TempRoot() + "/fifo.conf";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    const std::string big = Write("big.conf", std::string(tavd::kMaxConfigBytes + 1, '#'));

    for (const auto& [path, why] : std::vector<std::pair<std::string, std::string>>{
             {link, "a symbolic link"},
             {fifo, "a FIFO, not a regular file"}, // and no wait for a writer
             {big, "larger than"},
             {tavtest::TempRoot() + "/missing.conf", "No such file"},
             {tavtest::TempRoot(), "a folder, not a regular file"}}) {
        errors.clear();
        EXPECT_FALSE(tavd::LoadDaemonConfig(path, DaemonRole::Teacher, c, errors)) << path;
        ASSERT_EQ(errors.size(), 1u) << path;
        EXPECT_NE(errors[0].find(path + ": cannot read: " + why), std::string::npos) << errors[0];
    }
}

TEST(Topics, BuildersRefuseBadIdsAndParseReadsBackWhatTheyBuild)
{
    EXPECT_FALSE(tavd::ClassTopics::ForClass(""));
    EXPECT_FALSE(tavd::ClassTopics::ForClass("5A/#"));
    EXPECT_FALSE(tavd::ClassTopics::ForClass(std::string(65, 'a')));
    const tavd::ClassTopics t = *tavd::ClassTopics::ForClass("5A");
    for (const std::string& bad : std::vector<std::string>{"", "all", "teacher", "+", "#", "S1/x",
                                                           std::string(65, 'S'), "S\n1"}) {
        EXPECT_FALSE(t.Command(bad)) << bad;
        EXPECT_FALSE(t.Policy(bad, tavd::PolicyKind::Schedule)) << bad;
        EXPECT_FALSE(t.Student(bad, tavd::StudentChannel::Answer)) << bad;
    }

    EXPECT_EQ(*t.Command("S1"), "tav/5A/cmd/S1");
    EXPECT_EQ(t.CommandToAll(), "tav/5A/cmd/all");
    EXPECT_EQ(*t.Policy("S1", tavd::PolicyKind::TabNav), "tav/5A/policy/S1/tabnav");
    EXPECT_EQ(t.PolicyForAll(tavd::PolicyKind::Settings), "tav/5A/policy/all/settings");
    EXPECT_EQ(*t.Student("S1", tavd::StudentChannel::Presence), "tav/5A/student/S1/presence");
    EXPECT_EQ(t.EveryStudentFilter(), "tav/5A/student/#");
    EXPECT_EQ(*t.StudentPolicyFilter("S1"), "tav/5A/policy/S1/#");

    auto info = t.Parse(*t.Policy("S-2", tavd::PolicyKind::Schedule));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->kind, tavd::TopicInfo::Kind::Policy);
    EXPECT_EQ(info->studentId, "S-2");
    EXPECT_EQ(info->policy, tavd::PolicyKind::Schedule);
    info = t.Parse(t.CommandToAll());
    ASSERT_TRUE(info);
    EXPECT_TRUE(info->everyStudent);
    info = t.Parse(*t.Student("S_3", tavd::StudentChannel::Join));
    ASSERT_TRUE(info);
    EXPECT_EQ(info->channel, tavd::StudentChannel::Join);
    EXPECT_EQ(info->studentId, "S_3");

    for (const char* foreign :
         {"tav/5B/cmd/S1", "tav/5A/cmd/S1/x", "tav/5A/cmd/teacher", "tav/5A/policy/S1/theme",
          "tav/5A/student/all/presence", "tav/5A/student/S1/gossip", "tav/5A/student/S1", "tav/5A",
          "", "xyz/5A/cmd/S1", "tav/5A/cmd/"})
        EXPECT_FALSE(t.Parse(foreign)) << foreign;
}

} // namespace
