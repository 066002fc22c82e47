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

namespace {

// The value a switch of the page gives: pressedValue when pressed, the
// other of 1 and 0 when not. A value other than stored sets changed, so
// that a change of any switch alone is offered for saving on closing.
int ReadSwitch(GtkWidget* box, int pressedValue, int stored, bool& changed)
{
    const int value = IsPressed(box) ? pressedValue : 1 - pressedValue;
    if (value != stored)
        changed = true;
    return value;
}

} // namespace

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
    // Pressed means disabled.
    m_SystemSetting.SetUSBStorageenabled(
        ReadSwitch(m_pUSBCheck, 0, m_SystemSetting.GetUSBStorageenabled(), m_bSystemSettingDirty));
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
    m_SystemSetting.SetNewStudentConnectDialogEnable(
        ReadSwitch(m_pNewStudentCheck, 1, m_SystemSetting.GetNewStudentConnectDialogEnable(),
                   m_bSystemSettingDirty));
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
