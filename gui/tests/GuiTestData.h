// The installation a dialog test sees: the drawn pictures in the private
// /etc/TAV/image, configuration files written per test, the log.
#ifndef TAV_GUI_TESTS_GUITESTDATA_H
#define TAV_GUI_TESTS_GUITESTDATA_H

#include "TestSupport.h"

#include <glib.h>
#include <glib/gstdio.h>

#include <string>

namespace tavguitest {

// Copies the pictures drawn by the build into /etc/TAV/image.
inline bool InstallImages()
{
    const std::string target = "/etc/TAV/image";
    g_mkdir_with_parents(target.c_str(), 0755);
    GDir* dir = g_dir_open(TAV_TEST_IMAGE_DIR, 0, nullptr);
    if (!dir)
        return false;
    bool ok = true;
    while (const gchar* name = g_dir_read_name(dir))
        ok &= tavtest::WriteFile(target + "/" + name,
                                 tavtest::ReadFile(std::string(TAV_TEST_IMAGE_DIR) + "/" + name));
    g_dir_close(dir);
    return ok;
}

// Removes the configuration files of earlier tests (the pictures stay).
inline void ClearConfig()
{
    for (const char* name : {"TabNavigation.xml", "LockSchedule.xml", "TAVSystemSetting.xml",
                             "DefaultConfig.xml", "SearchResult.xml"})
        g_remove((std::string("/etc/TAV/") + name).c_str());
}

inline bool WriteConfig(const std::string& name, const std::string& text)
{
    return tavtest::WriteFile("/etc/TAV/" + name, text);
}

inline std::string ReadConfig(const std::string& name)
{
    return tavtest::ReadFile("/etc/TAV/" + name);
}

// What the libraries logged so far in this process.
inline std::string LogText()
{
    return tavtest::ReadFile(tavtest::Home() + "/TAVLog/publicLog.log");
}

inline std::string Image(const std::string& name) { return "/etc/TAV/image/" + name; }

} // namespace tavguitest

#endif
