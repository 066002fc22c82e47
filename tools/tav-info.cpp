// tav-info: prints where the system keeps its files and writes one log line,
// so an administrator can see the layout and where a host's log goes.
#include "TAVLayout.h"
#include "TAVLog.h"

#include <cstdio>
#include <cstring>

using namespace LibTAVData;

int main(int argc, char** argv)
{
    if (argc > 1 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        std::printf("usage: tav-info\n"
                    "Prints the installation layout (configuration files, images, lock files)\n"
                    "and writes one line to the log file \"tav-info\" in the log folder.\n");
        return 0;
    }
    if (argc > 1) {
        std::fprintf(stderr, "tav-info: unknown argument '%s' (try --help)\n", argv[1]);
        return 2;
    }
    const std::pair<const char*, std::string> files[] = {
        {"lock schedule", CONFIG_DIR + LOCK_SCHEDULE_XML},
        {"tab navigation", CONFIG_DIR + TAB_NAVIGATION_XML},
        {"default configuration", CONFIG_DIR + DEFAULT_CONFIG_XML},
        {"favourites", CONFIG_DIR + FAVORITE_XML},
        {"search results", CONFIG_DIR + SEARCH_RESULT_XML},
        {"system settings", CONFIG_DIR + SYSTEM_SETTING_XML},
        {"theme", CONFIG_DIR + THEME_XML},
        {"class groups", CONFIG_DIR + CLASS_GROUP_XML},
        {"student information", CONFIG_DIR + STUDENT_INFO_XML},
        {"teacher information", CONFIG_DIR + TEACHER_INFO_XML},
        {"images", IMAGE_DIR},
        {"themes", THEME_DIR},
        {"help documents", HELP_DIR},
        {"programs", PROGRAM_DIR},
        {"shell controller lock", LOCK_SHELL_CONTROLLER},
        {"admin tool lock", LOCK_ADMIN_TOOL},
    };
    std::printf("Installation layout\n");
    for (const auto& f : files)
        std::printf("  %-24s %s\n", f.first, f.second.c_str());

    CTAVLog::SetLogFileName("tav-info");
    const std::string dir = CTAVLog::getLogDir();
    std::printf("\nLog folder: %s\n\n", dir.empty() ? "(none: home not writable)" : dir.c_str());
    CTAVLog::WriteLine("tav-info: layout printed", CTAVLog::LOG_TRACE, "", false);
    if (!dir.empty())
        std::printf("\nThat line was appended to %stav-info.log\n", dir.c_str());
    return 0;
}
