#include "TAVLayout.h"
#include "TAVSystemSettingData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace LibTAVData;

namespace {

std::string Values(const CTAVSystemSettingData& d)
{
    return std::to_string(d.GetUSBStorageenabled()) + " " +
           std::to_string(d.GetNewStudentConnectDialogEnable()) + " " +
           std::to_string(d.GetConnectPolicyAllow()) + " " +
           std::to_string(d.GetAddToCurrentClassAllow()) + " " +
           std::to_string(d.GetAutoDeployEnabled());
}

std::string Doc(const std::string& usb, const std::string& dialog, const std::string& inner,
                const std::string& autoDeploy)
{
    return "<TAVSystemSetting><USBStorage " + usb + "/><NewStudentConnectDialog " + dialog + ">" +
           inner + "</NewStudentConnectDialog><AutoDeploy " + autoDeploy + "/></TAVSystemSetting>";
}

const std::string kInner = "<ConnectPolicy allow=\"0\"/><AddToCurrentClass allow=\"0\"/>";

} // namespace

TEST(SystemSetting, SavedTexts)
{
    CTAVSystemSettingData fresh;
    EXPECT_EQ(Values(fresh), "0 1 1 1 0");
    std::string out;
    ASSERT_EQ(fresh.Save2String(out), 0);
    EXPECT_EQ(out, "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                   "<TAVSystemSetting>\n"
                   "    <!-- 0 disabled 1 enabled -->\n"
                   "    <USBStorage enabled=\"0\" />\n"
                   "    <NewStudentConnectDialog enabled=\"1\">\n"
                   "        <ConnectPolicy allow=\"1\" />\n"
                   "        <AddToCurrentClass allow=\"1\" />\n"
                   "    </NewStudentConnectDialog>\n"
                   "    <AutoDeploy enabled=\"0\" />\n"
                   "</TAVSystemSetting>\n");

    CTAVSystemSettingData full;
    full.SetUSBStorageenabled(1);
    full.SetNewStudentConnectDialogEnable(0);
    full.SetConnectPolicyAllow(7);
    full.SetAddToCurrentClassAllow(-3);
    full.SetAutoDeployEnabled(1);
    const std::string file = tavtest::TempRoot() + "/" + SYSTEM_SETTING_XML;
    ASSERT_EQ(full.Save2File(file), 0);
    EXPECT_EQ(tavtest::ReadFile(file), "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                                       "<TAVSystemSetting>\n"
                                       "    <!-- 0 disabled 1 enabled -->\n"
                                       "    <USBStorage enabled=\"1\" />\n"
                                       "    <NewStudentConnectDialog enabled=\"0\">\n"
                                       "        <ConnectPolicy allow=\"7\" />\n"
                                       "        <AddToCurrentClass allow=\"-3\" />\n"
                                       "    </NewStudentConnectDialog>\n"
                                       "    <AutoDeploy enabled=\"1\" />\n"
                                       "</TAVSystemSetting>\n");

    CTAVSystemSettingData loaded;
    ASSERT_EQ(loaded.LoadFromFile(file), 0);
    EXPECT_EQ(Values(loaded), "1 0 7 -3 1");
    EXPECT_TRUE(loaded.IsEqual(full));
    EXPECT_FALSE(loaded.IsEqual(fresh));
    ASSERT_EQ(fresh.Save2String(out), 0);
    ASSERT_EQ(loaded.LoadFromString(out), 0);
    EXPECT_EQ(Values(loaded), "0 1 1 1 0");
}

TEST(SystemSetting, IsEqualComparesEveryField)
{
    CTAVSystemSettingData a, b;
    EXPECT_TRUE(a.IsEqual(b));
    void (CTAVSystemSettingData::*setters[])(int) = {
        &CTAVSystemSettingData::SetUSBStorageenabled,
        &CTAVSystemSettingData::SetNewStudentConnectDialogEnable,
        &CTAVSystemSettingData::SetConnectPolicyAllow,
        &CTAVSystemSettingData::SetAddToCurrentClassAllow,
        &CTAVSystemSettingData::SetAutoDeployEnabled};
    for (auto set : setters) {
        CTAVSystemSettingData c;
        (c.*set)(5);
        EXPECT_FALSE(c.IsEqual(a));
        EXPECT_FALSE(a.IsEqual(c));
    }
}

TEST(SystemSetting, LoadRules)
{
    CTAVSystemSettingData d;
    // Not a number: -1. Comments and other nodes are ignored.
    EXPECT_EQ(d.LoadFromString("<!-- x --><TAVSystemSetting><Other/><USBStorage enabled=\"yes\"/>"
                               "<NewStudentConnectDialog enabled=\" 1\">" +
                               kInner +
                               "</NewStudentConnectDialog><AutoDeploy enabled=\"2x\"/>"
                               "</TAVSystemSetting>"),
              0);
    EXPECT_EQ(Values(d), "-1 1 0 0 2");

    // A missing attribute fails after the earlier switches were stored.
    CTAVSystemSettingData e;
    EXPECT_EQ(e.LoadFromString(Doc("enabled=\"1\"", "", kInner, "enabled=\"1\"")), -1);
    EXPECT_EQ(Values(e), "1 1 1 1 0");
    EXPECT_EQ(e.LoadFromString(Doc("enabled=\"0\"", "enabled=\"0\"", kInner, "")), -1);
    EXPECT_EQ(Values(e), "0 0 0 0 0");

    // "AddToCurrentClass" is looked for after "ConnectPolicy" only.
    CTAVSystemSettingData f;
    EXPECT_EQ(f.LoadFromString(Doc("enabled=\"1\"", "enabled=\"0\"",
                                   "<AddToCurrentClass allow=\"0\"/><ConnectPolicy allow=\"0\"/>",
                                   "enabled=\"1\"")),
              -1);
    EXPECT_EQ(Values(f), "1 0 0 1 0");
    // "ConnectPolicy" directly under the root is not found.
    CTAVSystemSettingData g;
    EXPECT_EQ(g.LoadFromString("<TAVSystemSetting><USBStorage enabled=\"1\"/>"
                               "<ConnectPolicy allow=\"0\"/><NewStudentConnectDialog enabled=\"0\">"
                               "<AddToCurrentClass allow=\"0\"/></NewStudentConnectDialog>"
                               "<AutoDeploy enabled=\"1\"/></TAVSystemSetting>"),
              -1);
    EXPECT_EQ(Values(g), "1 0 1 1 0");
    // Missing elements.
    EXPECT_EQ(g.LoadFromString("<TAVSystemSetting/>"), -1);
    EXPECT_EQ(g.LoadFromString("<Other><TAVSystemSetting/></Other>"), -1);
    EXPECT_EQ(g.LoadFromString(Doc("enabled=\"0\"", "enabled=\"0\"", kInner, "") + "x"), -1);
    EXPECT_EQ(g.LoadFromFile(tavtest::TempRoot() + "/missing.xml"), -1);
    EXPECT_EQ(Values(g), "0 0 0 0 0");
}
