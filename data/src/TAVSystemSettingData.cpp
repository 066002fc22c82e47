#include "TAVSystemSettingData.h"

#include "DataXml.h"

namespace LibTAVData {

CTAVSystemSettingData::CTAVSystemSettingData()
    : m_iUSBStorageEnabled(0), m_iNewStudentConnectDialogEnable(1), m_iConnectPolicyAllow(1),
      m_iAddToCurrentClassAllow(1), m_iAutoDeployEnabled(0)
{}

CTAVSystemSettingData::~CTAVSystemSettingData() {}

int CTAVSystemSettingData::GetUSBStorageenabled() const { return m_iUSBStorageEnabled; }
void CTAVSystemSettingData::SetUSBStorageenabled(int enabled) { m_iUSBStorageEnabled = enabled; }
int CTAVSystemSettingData::GetNewStudentConnectDialogEnable() const
{
    return m_iNewStudentConnectDialogEnable;
}
void CTAVSystemSettingData::SetNewStudentConnectDialogEnable(int enabled)
{
    m_iNewStudentConnectDialogEnable = enabled;
}
int CTAVSystemSettingData::GetConnectPolicyAllow() const { return m_iConnectPolicyAllow; }
void CTAVSystemSettingData::SetConnectPolicyAllow(int allow) { m_iConnectPolicyAllow = allow; }
int CTAVSystemSettingData::GetAddToCurrentClassAllow() const { return m_iAddToCurrentClassAllow; }
void CTAVSystemSettingData::SetAddToCurrentClassAllow(int allow)
{
    m_iAddToCurrentClassAllow = allow;
}
int CTAVSystemSettingData::GetAutoDeployEnabled() const { return m_iAutoDeployEnabled; }
void CTAVSystemSettingData::SetAutoDeployEnabled(int enabled) { m_iAutoDeployEnabled = enabled; }

bool CTAVSystemSettingData::IsEqual(const CTAVSystemSettingData& other)
{
    return m_iUSBStorageEnabled == other.m_iUSBStorageEnabled &&
           m_iNewStudentConnectDialogEnable == other.m_iNewStudentConnectDialogEnable &&
           m_iConnectPolicyAllow == other.m_iConnectPolicyAllow &&
           m_iAddToCurrentClassAllow == other.m_iAddToCurrentClassAllow &&
           m_iAutoDeployEnabled == other.m_iAutoDeployEnabled;
}

int CTAVSystemSettingData::Member2DOM()
{
    using namespace detail::DataXml;
    if (!m_pDocument)
        return -1;
    AddDeclaration(m_pDocument);
    TiXmlElement* root = AddElement(m_pDocument, "TAVSystemSetting");
    root->LinkEndChild(new TiXmlComment(" 0 disabled 1 enabled "));
    AddElement(root, "USBStorage")->SetAttribute("enabled", m_iUSBStorageEnabled);
    TiXmlElement* dialog = AddElement(root, "NewStudentConnectDialog");
    dialog->SetAttribute("enabled", m_iNewStudentConnectDialogEnable);
    AddElement(dialog, "ConnectPolicy")->SetAttribute("allow", m_iConnectPolicyAllow);
    AddElement(dialog, "AddToCurrentClass")->SetAttribute("allow", m_iAddToCurrentClassAllow);
    AddElement(root, "AutoDeploy")->SetAttribute("enabled", m_iAutoDeployEnabled);
    return 0;
}

int CTAVSystemSettingData::DOM2Member()
{
    using namespace detail::DataXml;
    if (!m_pDocument)
        return -1;

    // The attribute as a decimal integer, -1 when it is not a number; false
    // when the element or the attribute is missing.
    auto read = [this](TiXmlElement* e, const char* name, int& field) {
        const std::string* value = e ? e->Attribute(std::string(name)) : nullptr;
        if (!value)
            return false;
        std::string text = *value;
        int number = 0;
        field = ConvertString2Int(text, number) ? number : -1;
        return true;
    };

    TiXmlElement* root = FirstChild(m_pDocument, "TAVSystemSetting");
    if (!root)
        return -1;
    if (!read(FirstChild(root, "USBStorage"), "enabled", m_iUSBStorageEnabled))
        return -1;
    TiXmlElement* dialog = FirstChild(root, "NewStudentConnectDialog");
    if (!read(dialog, "enabled", m_iNewStudentConnectDialogEnable))
        return -1;
    TiXmlElement* policy = FirstChild(dialog, "ConnectPolicy");
    if (!read(policy, "allow", m_iConnectPolicyAllow))
        return -1;
    if (!read(NextSibling(policy, "AddToCurrentClass"), "allow", m_iAddToCurrentClassAllow))
        return -1;
    if (!read(FirstChild(root, "AutoDeploy"), "enabled", m_iAutoDeployEnabled))
        return -1;
    return 0;
}

} // namespace LibTAVData
