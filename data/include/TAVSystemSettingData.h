// Switches of the classroom system, stored as /etc/TAV/TAVSystemSetting.xml:
// USB storage, the dialog shown when a new student connects (with whether
// the connection is allowed and whether the student joins the current
// class), and automatic deployment. 0 is disabled / not allowed, 1 enabled /
// allowed; other values are kept as given.
#ifndef TAV_DATA_TAVSYSTEMSETTINGDATA_H
#define TAV_DATA_TAVSYSTEMSETTINGDATA_H

#include "TAVDataProvider.h"

namespace LibTAVData {

class CTAVSystemSettingData : public CTAVDataProvider {
public:
    // The values of a system without a settings file: USB storage off, the
    // new-student dialog on with connecting and adding allowed, automatic
    // deployment off.
    CTAVSystemSettingData();
    ~CTAVSystemSettingData() override;

    // -1 when the root or one of the five switches (element or attribute)
    // is missing; the switches read before stay. A value that is not a
    // number reads as -1.
    int DOM2Member() override;
    int Member2DOM() override;

    int GetUSBStorageenabled() const;
    void SetUSBStorageenabled(int enabled);
    int GetNewStudentConnectDialogEnable() const;
    void SetNewStudentConnectDialogEnable(int enabled);
    int GetConnectPolicyAllow() const;
    void SetConnectPolicyAllow(int allow);
    int GetAddToCurrentClassAllow() const;
    void SetAddToCurrentClassAllow(int allow);
    int GetAutoDeployEnabled() const;
    void SetAutoDeployEnabled(int enabled);

    // True when the five switches are equal.
    bool IsEqual(const CTAVSystemSettingData& other);

private:
    int m_iUSBStorageEnabled;
    int m_iNewStudentConnectDialogEnable;
    int m_iConnectPolicyAllow;
    int m_iAddToCurrentClassAllow;
    int m_iAutoDeployEnabled;
};

} // namespace LibTAVData

#endif
