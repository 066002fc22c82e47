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
#include <cerrno>
#include <cstring>
#include <list>
#include <memory>
#include <sstream>
#include <vector>

namespace tavtools {

namespace {

// Names looked at in one folder; a folder of millions of entries is read
// only this far.
constexpr std::size_t kMaxEntries = 20000;

struct Program {
    std::string name, path, icon;
};

std::string Trim(const std::string& text)
{
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos)
        return "";
    return text.substr(first, text.find_last_not_of(" \t\r") - first + 1);
}

// An Exec value as a command: field codes (%f, %U, ...) dropped, "%%"
// kept as "%", runs of blanks made one.
std::string CommandOf(const std::string& exec)
{
    std::string command;
    for (std::size_t i = 0; i < exec.size(); ++i) {
        const char c = exec[i];
        if (c == '%' && i + 1 < exec.size()) {
            if (exec[++i] == '%')
                command += '%';
        } else if (c != ' ' || (!command.empty() && command.back() != ' ')) {
            command += c;
        }
    }
    return Trim(command);
}

// The program a launcher starts, from its "[Desktop Entry]" group (other
// groups, such as actions, are not the program). False for launchers of
// another type, hidden ones and ones without a name or command.
bool ReadLauncher(const std::string& text, Program& program)
{
    std::istringstream lines(text);
    bool inEntry = false, hidden = false;
    std::string type = "Application", exec;
    for (std::string line; std::getline(lines, line);) {
        line = Trim(line);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            inEntry = line == "[Desktop Entry]";
            continue;
        }
        const auto eq = line.find('=');
        if (!inEntry || eq == std::string::npos)
            continue;
        const std::string key = Trim(line.substr(0, eq)), value = Trim(line.substr(eq + 1));
        if (key == "Name")
            program.name = value;
        else if (key == "Exec")
            exec = value;
        else if (key == "Icon")
            program.icon = value;
        else if (key == "Type")
            type = value;
        else if (key == "Hidden" || key == "NoDisplay")
            hidden = hidden || value == "true";
    }
    program.path = CommandOf(exec);
    return type == "Application" && !hidden && !program.name.empty() && !program.path.empty();
}

bool IsLauncherName(const std::string& name)
{
    static const std::string suffix = ".desktop";
    return name.size() > suffix.size() &&
           name.compare(name.size() - suffix.size(), suffix.size(), suffix) == 0;
}

// What goes on the bus must be valid UTF-8; a file name need not be.
bool Sendable(const Program& p)
{
    return dbus_validate_utf8(p.name.c_str(), nullptr) &&
           dbus_validate_utf8(p.path.c_str(), nullptr) &&
           dbus_validate_utf8(p.icon.c_str(), nullptr);
}

// One entry of the open folder as a program; false when it is none.
bool ProgramAt(int dirFd, const std::string& folder, const std::string& name, Program& program)
{
    if (IsLauncherName(name)) {
        std::string text, error;
        return ReadRegularFileAt(dirFd, name, kMaxLauncherBytes, text, error) &&
               ReadLauncher(text, program);
    }
    struct stat st;
    if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISREG(st.st_mode) ||
        !(st.st_mode & (S_IXUSR | S_IXGRP | S_IXOTH)))
        return false;
    program.name = name;
    program.path = folder + (folder.back() == '/' ? "" : "/") + name;
    return true;
}

} // namespace

ProgramListing ListPrograms(const std::string& folder)
{
    ProgramListing result;
    if (folder.empty() || folder[0] != '/') {
        result.error = "not an absolute path";
        return result;
    }
    // The folder named may be a link (to a folder); what it holds is looked
    // at through this descriptor, so a folder swapped meanwhile is not read
    // in part.
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NONBLOCK | O_CLOEXEC);
    std::unique_ptr<DIR, int (*)(DIR*)> dir(fd >= 0 ? ::fdopendir(fd) : nullptr, ::closedir);
    if (!dir) {
        result.error = std::strerror(errno);
        if (fd >= 0)
            ::close(fd);
        return result;
    }
    std::vector<std::string> names;
    while (const dirent* entry = ::readdir(dir.get())) {
        if (entry->d_name[0] != '.')
            names.emplace_back(entry->d_name);
        if (names.size() >= kMaxEntries)
            break;
    }
    std::sort(names.begin(), names.end());

    auto* programs = new std::list<LibTAVData::CApplicationInfo*>;
    LibTAVData::CSearchResultData document;
    document.SetPApplicationInfoList(programs); // owned by the document from here
    for (const std::string& name : names) {
        Program p;
        if (!ProgramAt(::dirfd(dir.get()), folder, name, p) || !Sendable(p))
            continue;
        auto* app = new LibTAVData::CApplicationInfo;
        app->SetName(p.name);
        app->SetPath(p.path);
        app->SetCustomIcon(p.icon);
        programs->push_back(app);
        if (++result.count == kMaxPrograms)
            break;
    }
    result.listed = document.Save2String(result.xml) == 0;
    if (!result.listed)
        result.error = "the programs document could not be written";
    return result;
}

} // namespace tavtools
