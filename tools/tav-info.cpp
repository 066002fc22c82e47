// tav-info: prints where the system keeps its files and writes one log line,
// so an administrator can see the layout and where a host's log goes; with
// --check, reports every installed file that is missing or unreadable.
#include "Options.h"
#include "TAVLayout.h"
#include "TAVLog.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

using namespace LibTAVData;

namespace {

const std::vector<tavtools::OptionDef>& Options()
{
    static const std::vector<tavtools::OptionDef> options = {
        {"check", "",
         "check the installation instead: report every file the libraries read that is missing or "
         "unreadable (pictures, sample configuration, message catalogues, bus policy)"},
        {"version", "", "print the version"},
        {"help", "", "this text", false, false, 'h'},
    };
    return options;
}

std::string Usage()
{
    return "usage: tav-info [--check]\n"
           "\n"
           "Prints the installation layout (configuration files, images, lock files)\n"
           "and writes one line to the log file \"tav-info\" in the log folder.\n"
           "\n" +
           tavtools::OptionsHelp(Options()) +
           "\n"
           "Exit status: 0 done (--check: everything is in place), 1 a file is missing\n"
           "or unreadable, 2 bad usage.\n";
}

std::vector<std::string> SplitList(const std::string& text)
{
    std::vector<std::string> items;
    std::istringstream in(text);
    std::string item;
    while (std::getline(in, item, ','))
        if (!item.empty())
            items.push_back(item);
    return items;
}

// Empty when path is a readable regular file (a PNG picture when png is
// set); otherwise what is wrong with it.
std::string FileProblem(const std::string& path, bool png)
{
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd < 0)
        return errno == ENOENT ? "missing" : std::string("unreadable: ") + std::strerror(errno);
    struct stat st {};
    std::string problem;
    unsigned char head[8] = {};
    static const unsigned char kPng[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode))
        problem = "not a regular file";
    else if (::read(fd, head, sizeof head) != static_cast<ssize_t>(sizeof head))
        problem = png ? "unreadable: not a PNG picture" : (st.st_size == 0 ? "empty" : "");
    else if (png && std::memcmp(head, kPng, sizeof kPng) != 0)
        problem = "unreadable: not a PNG picture";
    ::close(fd);
    return problem;
}

bool IsFolder(const std::string& path)
{
    struct stat st {};
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

int Check()
{
    struct Item {
        std::string what, path;
        bool png;
    };
    std::vector<Item> items = {{"sample configuration", CONFIG_DIR + DEFAULT_CONFIG_XML, false}};
    // The pictures the layout names, then every other picture installed.
    std::set<std::string> seen;
    auto picture = [&](const std::string& path) {
        if (seen.insert(path).second)
            items.push_back({"picture", path, true});
    };
    for (const std::string& p :
         {DEFAULT_APP_ICON, SHELL_CONTROLLER_ICON, ADMIN_TOOL_ICON, TASK_MANAGER_ICON,
          TASK_MANAGER_ENDPROC_ICON, TRAY_IMAGE_DIR + TRAY_ICON_LOCKED,
          TRAY_IMAGE_DIR + TRAY_ICON_UNLOCKED, FAVORITE_TAB_ICON, TASK_MANAGER_APP_ICON})
        picture(p);
    for (const std::string& name : SplitList(TAV_INSTALLED_IMAGES))
        picture(IMAGE_DIR + name);
    for (const std::string& mo : SplitList(TAV_INSTALLED_CATALOGUES))
        items.push_back({"message catalogue", LOCALE_DIR + mo, false});
    if (*TAV_INSTALLED_BUS_POLICY)
        items.push_back({"bus policy", TAV_INSTALLED_BUS_POLICY, false});

    std::printf("Checking the installation\n");
    int bad = 0;
    for (const Item& item : items) {
        const std::string problem = FileProblem(item.path, item.png);
        if (!problem.empty())
            ++bad;
        const char* status = problem.empty() ? "ok" : problem == "missing" ? "MISSING" : "BAD";
        std::printf("  %-8s %s (%s%s%s)\n", status, item.path.c_str(), item.what.c_str(),
                    problem.empty() ? "" : ": ", problem.c_str());
    }
    // User manuals are the deployment's own: none are installed with us.
    std::printf("  %-8s %s (help documents, optional: %s)\n", "note", HELP_DIR.c_str(),
                IsFolder(HELP_DIR) ? "present" : "none installed");
    std::printf("%d of %zu files missing or unreadable\n", bad, items.size());
    return bad == 0 ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    tavtools::ParsedArgs args;
    try {
        tavtools::OptionParser parser;
        parser.Add(Options());
        args = parser.Parse(std::vector<std::string>(argv + 1, argv + argc),
                            [](const std::string& word, auto&) {
                                throw tavtools::UsageError("unknown argument '" + word + "'");
                            });
    } catch (const tavtools::UsageError& e) {
        std::fprintf(stderr, "tav-info: %s (try --help)\n", e.what());
        return 2;
    }
    if (args.Help()) {
        std::fputs(Usage().c_str(), stdout);
        return 0;
    }
    if (args.Has("version")) {
        std::printf("tav-info (TAV) %s\n", TAV_VERSION);
        return 0;
    }
    if (args.Has("check"))
        return Check();

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
        {"message catalogues", LOCALE_DIR},
        {"shell controller lock", LOCK_SHELL_CONTROLLER},
        {"admin tool lock", LOCK_ADMIN_TOOL},
    };
    std::printf("Installation layout (tav-info --check verifies the installed files)\n");
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
