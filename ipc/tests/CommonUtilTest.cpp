#include "IPCCommonUtil.h"
#include "TAVLog.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <regex>

using namespace IPCAPI;

namespace {
std::string logText(const std::string& name)
{
    return tavtest::ReadFile(tavtest::Home() + "/TAVLog/" + name + ".log");
}
} // namespace

TEST(CommonUtil, LoadStringReportsWhatDoesNotLoad)
{
    LibTAVData::CTAVLog::SetLogFileName("loadstring");
    CIntfData sent("HARDWARECONTROL", 12, "null");
    sent.SetResult(5);
    sent.m_ParaXml.setString("strXML", "<x/>");
    std::string text;
    ASSERT_TRUE(sent.toString(text));

    CIntfData got;
    EXPECT_EQ(IPCCommonUtil::LoadString(got, text), 0);
    int result = 0, opid = 0;
    got.GetResult(result);
    got.GetOperationID(opid);
    EXPECT_EQ(result, 5);
    EXPECT_EQ(opid, 12);

    CIntfData shortOne;
    EXPECT_EQ(IPCCommonUtil::LoadString(shortOne, "too short"), 1);
    EXPECT_NE(logText("loadstring").find("ERROR:   IPCCommonUtil::LoadString() --Load FAILED"),
              std::string::npos);
}

TEST(CommonUtil, NumbersAndStudentRecords)
{
    EXPECT_EQ(IPCCommonUtil::ParseInt2String(-12), "-12");
    EXPECT_EQ(IPCCommonUtil::ParseInt2String(0), "0");

    LibTAVData::CTAVLog::SetLogFileName("student");
    tagStudent_t s;
    s.studentID = "S1";
    s.username = "ann";
    s.hostname = "pc1";
    s.IP = "10.0.0.1";
    s.start_time = 99;
    s.bLocked = 1;
    s.status = 7;
    IPCCommonUtil::ShowLogForStudentInfo("P", s);
    const std::string text = logText("student");
    EXPECT_TRUE(std::regex_search(text, std::regex("ShowLogForStudentInfo\\(\\) >>Start\n"
                                                   ".*TRACE:   P --StuInfo.IP = 10.0.0.1\n"
                                                   ".*TRACE:   P --StuInfo.hostname = pc1\n"
                                                   ".*TRACE:   P --StuInfo.studentID = S1\n"
                                                   ".*TRACE:   P --StuInfo.username = ann\n"
                                                   ".*TRACE:   P --StuInfo.start_time = 99\n"
                                                   ".*TRACE:   P --StuInfo.bLocked = 1\n"
                                                   ".*ShowLogForStudentInfo\\(\\) <<End\n")))
        << text;
}
