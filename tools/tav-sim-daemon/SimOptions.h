// Command line of tav-sim-daemon.
#ifndef TAV_TOOLS_SIMOPTIONS_H
#define TAV_TOOLS_SIMOPTIONS_H

#include "ParaXml.h"

#include <list>
#include <map>
#include <string>
#include <vector>

namespace simdaemon {

struct SimOptions {
    enum Mode { Teacher, Student };
    Mode mode = Teacher;

    // Teacher mode: the simulated class.
    std::list<IPCAPI::tagStudent_t> students;
    // Student mode: teachers a search finds, and the one connected at start
    // (empty: none).
    std::vector<std::string> teachers;
    std::string connectedTeacher;
    bool locked = false;

    // Result code per message name (request or notification); unlisted
    // names answer 0.
    std::map<std::string, int> results;
    // Listed when a search names no readable folder.
    std::string programsDir = "/usr/share/applications";
    // Pause between the answers of one request (one per student) in ms.
    int stepMs = 100;
    // Bus address to use instead of the system bus (empty: system bus).
    std::string busAddress;
    std::string logName = "tav-sim-daemon";
    // --version: print it and stop.
    bool showVersion = false;
    // --json: standard output carries JSON objects only.
    bool json = false;
};

// Fills options from the arguments (argv[0] excluded), parsed with the tools'
// option parser: options anywhere, the mode as the one positional word.
// False with a message in error for anything it does not understand; help
// set for --help (nothing after it is looked at).
bool ParseOptions(const std::vector<std::string>& args, SimOptions& options, std::string& error,
                  bool& help);

// Reads a class file: one student a line, "ID [USER [HOST [IP]]]", blank
// lines and lines starting with # ignored. Only a regular file of at most
// 1 MiB, not reached through a link, is read. False with a message in error.
bool ReadClassFile(const std::string& path, std::list<IPCAPI::tagStudent_t>& students,
                   std::string& error);

// A student with the given fields; missing ones are made up from its
// number (1-based): student<n>, pc-<nn>, 10.0.0.<10+n>.
IPCAPI::tagStudent_t MakeStudent(int number, const std::string& id, const std::string& user = "",
                                 const std::string& host = "", const std::string& ip = "");

std::string Usage();

} // namespace simdaemon

#endif
