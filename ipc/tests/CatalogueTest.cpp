// The catalogue describes what the dispatchers really read: every
// notification built from its catalogue entry reaches the callback the
// entry names, with every parameter found (result 0).
#include "IIPCStudentAPICallback.h"
#include "IIPCTeacherAPICallback.h"
#include "IntfData.h"
#include "StudentMessageNotify.h"
#include "TAVCatalogue.h"
#include "TeacherMessageNotify.h"

#include <gtest/gtest.h>

#include <list>
#include <string>

using namespace IPCAPI;
using namespace IPCAPI::Catalogue;

namespace {

struct StudentRecorder : IIPCStudentAPICallback {
    std::string called;
    void ConnectTeacherCallBack(std::string, int) override { called = "ConnectTeacherCallBack"; }
    void SearchTeacherCallBack(const std::list<std::string>&) override
    {
        called = "SearchTeacherCallBack";
    }
    void NotifyLockStatusChanged(bool) override { called = "NotifyLockStatusChanged"; }
    void NotifyTabNavPolicyChanged() override { called = "NotifyTabNavPolicyChanged"; }
    void NotifySchedulePolicyChanged() override { called = "NotifySchedulePolicyChanged"; }
    void NotifyTeacherStatusChanged(std::string, int) override
    {
        called = "NotifyTeacherStatusChanged";
    }
    void SearchLocalProgramCallBack(std::string) override { called = "SearchLocalProgramCallBack"; }
    void OnMessage(int, std::string) override { called = "OnMessage"; }
};

struct TeacherRecorder : IIPCTeacherAPICallback {
    std::string called;
    void SearchProgramCallBack(std::string, std::string) override
    {
        called = "SearchProgramCallBack";
    }
    void ManualLockRemotStudentCallBack(std::string, int) override
    {
        called = "ManualLockRemotStudentCallBack";
    }
    void ManualUnLockRemotStudentCallBack(std::string, int) override
    {
        called = "ManualUnLockRemotStudentCallBack";
    }
    void KickOffStudentCallBack(std::string, int) override { called = "KickOffStudentCallBack"; }
    void NotifyStudentStatusChanged(std::string, int) override
    {
        called = "NotifyStudentStatusChanged";
    }
    void DeployTabNavPolicyCallBack(std::string, bool) override
    {
        called = "DeployTabNavPolicyCallBack";
    }
    void DeploySchedulePolicyCallBack(std::string, bool) override
    {
        called = "DeploySchedulePolicyCallBack";
    }
    void NewStudentCallBack(const tagStudent_t&) override { called = "NewStudentCallBack"; }
    void OnMessage(int, std::string) override { called = "OnMessage"; }
};

// The envelope of a catalogue entry, every parameter filled in.
std::string envelopeOf(const Message& m)
{
    CIntfData data(m.name, 9, "S1");
    for (const Parameter& p : m.parameters) {
        if (p.type == Type::String) {
            data.m_ParaXml.setString(p.name, "text");
        } else if (p.type == Type::Int) {
            data.m_ParaXml.setInt(p.name, 1);
        } else if (p.type == Type::List) {
            std::list<std::string> ids{"T1"};
            data.m_ParaXml.setListPara(ids);
        } else {
            tagStudent_t s;
            s.studentID = "S1";
            std::list<tagStudent_t> one{s};
            data.m_ParaXml.setStudentInfoList(one);
        }
    }
    std::string text;
    data.toString(text);
    return text;
}

// "IIPCStudentAPICallback::OnMessage(id, text)" -> "OnMessage".
std::string callbackOf(const std::string& api)
{
    const std::size_t at = api.rfind("Callback::");
    const std::size_t from = at == std::string::npos ? 0 : at + 10;
    return api.substr(from, api.find('(', from) - from);
}

template <class Notify, class Recorder>
void checkSide(Side side)
{
    Notify notify;
    Recorder recorder;
    notify.SetCallBack(&recorder);
    int checked = 0;
    for (const Message& m : Messages()) {
        if (m.side != side || (m.kind != Kind::Notification && m.kind != Kind::Post))
            continue;
        recorder.called.clear();
        std::string scratch;
        EXPECT_EQ(notify.DoAction(m.name, envelopeOf(m), scratch), 0) << m.name;
        EXPECT_EQ(recorder.called, callbackOf(m.api)) << m.name;
        ++checked;
    }
    // Every name the dispatcher knows is in the catalogue: the callbacks of
    // one side are all reached.
    EXPECT_EQ(checked, side == Side::Student ? 8 : 9);
}

} // namespace

TEST(Catalogue, NotificationsReachTheCallbacksTheyName)
{
    checkSide<StudentMessageNotify, StudentRecorder>(Side::Student);
    checkSide<TeacherMessageNotify, TeacherRecorder>(Side::Teacher);
}

TEST(Catalogue, NamesAreUniquePerSideAndFitTheEnvelope)
{
    for (const Message& m : Messages()) {
        EXPECT_EQ(Find(m.side, m.name), &m) << m.name;
        EXPECT_LE(std::string(m.name).size(), 64u) << m.name;
        for (const char* answer : m.answers)
            EXPECT_NE(Find(m.side, answer), nullptr) << m.name << " names " << answer;
    }
}
