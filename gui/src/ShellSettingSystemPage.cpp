// "System Settings" page of the "Shell Settings" dialog: "Disable USB
// Storage" (administrative tool) and "Show new student connect notify
// dialog" (teacher side), shown from and read back into the system settings.
#include "ShellSettingCtrl.h"

#include "ShellSettingPages.h"
#include "TAVLayout.h"

namespace LibTAVGUI {

using detail::IsPressed;
using detail::LogScope;
using detail::Tr;
using LibTAVData::CONFIG_DIR;

int CShellSettingCtrl::initSystemSetting()
{
    LogScope log("CShellSettingCtrl::initSystemSetting()");
    if (!m_pNotebook)
        return -1;
    GtkWidget* page = gtk_vbox_new(FALSE, 0);
    m_pSystemRow = gtk_hbox_new(FALSE, 5);
    m_pUSBCheck = gtk_check_button_new_with_label(Tr("Disable USB Storage"));
    detail::SetSizeAtLeast(m_pUSBCheck, 200, 75);
    gtk_box_pack_start(GTK_BOX(m_pSystemRow), m_pUSBCheck, FALSE, FALSE, 20);
    gtk_box_pack_start(GTK_BOX(page), m_pSystemRow, FALSE, FALSE, 10);
    gtk_notebook_append_page(GTK_NOTEBOOK(m_pNotebook), page, gtk_label_new(Tr("System Settings")));
    return 0;
}

int CShellSettingCtrl::GTKShowDlgCheckBox()
{
    LogScope log("CShellSettingCtrl::GTKShowDlgCheckBox()");
    if (!m_pSystemRow || m_pNewStudentCheck)
        return 0;
    m_pNewStudentCheck =
        gtk_check_button_new_with_label(Tr("Show new student connect notify dialog"));
    detail::SetSizeAtLeast(m_pNewStudentCheck, 400, 75);
    gtk_box_pack_start(GTK_BOX(m_pSystemRow), m_pNewStudentCheck, FALSE, FALSE, 20);
    gtk_widget_show(m_pNewStudentCheck);
    return 1;
}

int CShellSettingCtrl::GTKHideUSBCheckBox()
{
    LogScope log("CShellSettingCtrl::GTKHideUSBCheckBox()");
    if (!m_pSystemRow || !m_pUSBCheck)
        return 0;
    GtkWidget* usb = m_pUSBCheck;
    m_pUSBCheck = nullptr;
    g_object_ref(usb);
    gtk_container_remove(GTK_CONTAINER(m_pSystemRow), usb);
    gtk_widget_destroy(usb);
    g_object_unref(usb);
    return 1;
}

int CShellSettingCtrl::ShowUSBPolicy()
{
    LogScope log("CShellSettingCtrl::ShowUSBPolicy()");
    if (m_pUSBCheck)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_pUSBCheck),
                                     m_SystemSetting.GetUSBStorageenabled() != 1);
    return 0;
}

int CShellSettingCtrl::FetchUSBData()
{
    LogScope log("CShellSettingCtrl::FetchUSBData()");
    if (!m_pUSBCheck)
        return 0;
    const int enabled = IsPressed(m_pUSBCheck) ? 0 : 1;
    if (enabled != m_SystemSetting.GetUSBStorageenabled())
        m_bSystemSettingDirty = true;
    m_SystemSetting.SetUSBStorageenabled(enabled);
    return 0;
}

int CShellSettingCtrl::ShowTeacherPolicy()
{
    LogScope log("CShellSettingCtrl::ShowTeacherPolicy()");
    if (m_pNewStudentCheck)
        gtk_toggle_button_set_active(GTK_TOGGLE_BUTTON(m_pNewStudentCheck),
                                     m_SystemSetting.GetNewStudentConnectDialogEnable() == 1);
    return 0;
}

int CShellSettingCtrl::FetchTeacherPolicy()
{
    LogScope log("CShellSettingCtrl::FetchTeacherPolicy()");
    if (!m_pNewStudentCheck)
        return 0;
    // Like the USB switch: a change here alone must still be offered for
    // saving when the dialog closes.
    const int enabled = IsPressed(m_pNewStudentCheck) ? 1 : 0;
    if (enabled != m_SystemSetting.GetNewStudentConnectDialogEnable())
        m_bSystemSettingDirty = true;
    m_SystemSetting.SetNewStudentConnectDialogEnable(enabled);
    return 0;
}

bool CShellSettingCtrl::IsSystemSettingDirty()
{
    LogScope log("CShellSettingCtrl::IsSystemSettingDirty()");
    LibTAVData::CTAVSystemSettingData stored;
    stored.LoadFromFile(CONFIG_DIR + LibTAVData::SYSTEM_SETTING_XML);
    m_bSystemSettingDirty = !stored.IsEqual(m_SystemSetting);
    return m_bSystemSettingDirty;
}

} // namespace LibTAVGUI
