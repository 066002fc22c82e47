#include "ProgramListing.h"

#include "SafeFile.h"
#include "SearchResultData.h"
#include "TabNavigationData.h"

#include <dbus/dbus.h>
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <list>
#include <memory>
#include <sstream>
#include <vector>

namespace simdaemon {

namespace {

constexpr int kMaxPrograms = 1000;
constexpr std::size_t kMaxLauncherSize = 64 * 1024;

struct Program {
    std::string name, path, icon;
};

std::string Trim(const std::string& s)
{
    const std::size_t b = s.find_first_not_of(" \t\r");
    if (b == std::string::npos)
        return "";
    return s.substr(b, s.find_last_not_of(" \t\r") - b + 1);
}

// The command of an Exec key without its field codes (%f, %U, ...).
std::string StripFieldCodes(const std::string& exec)
{
    std::string out;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        if (exec[i] == '%' && i + 1 < exec.size()) {
            if (exec[i + 1] == '%')
                out += '%';
            ++i;
            continue;
        }
        out += exec[i];
    }
    std::string squeezed;
    for (char c : Trim(out))
        if (!(c == ' ' && !squeezed.empty() && squeezed.back() == ' '))
            squeezed += c;
    return squeezed;
}

bool ReadLauncher(int dirFd, const std::string& name, Program& program)
{
    // The folder is named by whoever asks for the search: a launcher that is
    // a link, a FIFO or oversized is skipped, never waited for.
    std::string head, error;
    if (!tavtools::ReadRegularFileAt(dirFd, name, kMaxLauncherSize, head, error))
        return false;
    std::istringstream lines(head);
    std::string line, type;
    bool inEntry = false, hidden = false;
    while (std::getline(lines, line)) {
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const std::size_t eq = line.find('=');
        if (!inEntry || eq == std::string::npos)
            continue;
        const std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
        if (key == "Name" && program.name.empty())
            program.name = value;
        else if (key == "Exec" && program.path.empty())
            program.path = StripFieldCodes(value);
        else if (key == "Icon" && program.icon.empty())
            program.icon = value;
        else if (key == "Type")
            type = value;
        else if ((key == "NoDisplay" || key == "Hidden") && value == "true")
            hidden = true;
    }
    return !hidden && (type.empty() || type == "Application") && !program.name.empty() &&
           !program.path.empty();
}

bool EndsWith(const std::string& s, const std::string& tail)
{
    return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

// Texts that go on the bus must be valid UTF-8.
bool Sendable(const Program& p)
{
    return dbus_validate_utf8(p.name.c_str(), nullptr) &&
           dbus_validate_utf8(p.path.c_str(), nullptr) &&
           dbus_validate_utf8(p.icon.c_str(), nullptr);
}

} // namespace

bool BuildProgramsDocument(const std::string& folder, std::string& xml, int& count)
{
    count = 0;
    // Entries are looked at relative to the folder as it was opened, so a
    // folder swapped for another meanwhile is not read in part.
    const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
    if (!dir)
        return false;
    const int dirFd = ::dirfd(dir.get());
    std::vector<std::string> names;
    while (dirent* e = ::readdir(dir.get()))
        if (e->d_name[0] != '.')
            names.push_back(e->d_name);
    std::sort(names.begin(), names.end());

    const std::string base = folder.empty() || folder.back() == '/' ? folder : folder + "/";
    auto* list = new std::list<LibTAVData::CApplicationInfo*>;
    for (const std::string& name : names) {
        if (count >= kMaxPrograms)
            break;
        Program p;
        if (EndsWith(name, ".desktop")) {
            if (!ReadLauncher(dirFd, name, p))
                continue;
        } else {
            // Other programs are only looked at, never opened: a link to an
            // executable counts as one.
            struct stat st;
            if (::fstatat(dirFd, name.c_str(), &st, 0) != 0 || !S_ISREG(st.st_mode) ||
                ::faccessat(dirFd, name.c_str(), X_OK, 0) != 0)
                continue;
            p.name = name;
            p.path = base + name;
        }
        if (!Sendable(p))
            continue;
        auto* app = new LibTAVData::CApplicationInfo;
        app->SetName(p.name);
        app->SetPath(p.path);
        app->SetCustomIcon(p.icon);
        list->push_back(app);
        ++count;
    }
    LibTAVData::CSearchResultData result;
    result.SetPApplicationInfoList(list); // owned by result from here
    xml.clear();
    return result.Save2String(xml) == 0;
}

} // namespace simdaemon
