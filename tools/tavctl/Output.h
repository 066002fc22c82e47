// What tavctl prints: text lines, or with --json one JSON object a line
// (docs/tavctl.md lists the objects and their fields), on standard output
// apart from the library log (ResultStream.h: the log goes to standard
// error with --verbose, nowhere otherwise). Lines come from the main thread
// and from the notification thread, so each is written whole under a lock.
#ifndef TAVCTL_OUTPUT_H
#define TAVCTL_OUTPUT_H

#include "Json.h"
#include "ParaXml.h"

#include <cstdio>
#include <mutex>
#include <string>
#include <vector>

namespace tavctl {

using tavtools::JsonObject;

class Output {
public:
    // Takes over standard output as described above, before anything is
    // logged.
    static void Setup(bool verbose, bool json);
    static bool Json() { return s_json; }

    // One item: its text lines, or in JSON mode its object.
    static void Emit(const std::vector<std::string>& lines, const JsonObject& object);
    // A text line that has no JSON counterpart (the object carries it).
    static void Line(const std::string& text);
    // An error: "tavctl: text" on standard error and in the log, and in JSON
    // mode an error object with the exit status that follows. Only after
    // Setup.
    static void Error(const std::string& text, int status);

    // A text as a C string literal: quotes, backslash escapes for quotes,
    // backslashes and control characters.
    static std::string Quote(const std::string& text);
    // The text itself when it is a plain word, else Quote(text).
    static std::string Word(const std::string& text);
    // "S01 user=alice host=nb-01 ip=10.0.0.11 start_time=0 locked=0 status=1"
    static std::string Student(const IPCAPI::tagStudent_t& s);
    // The record with the field names of tagStudent_t.
    static JsonObject StudentJson(const IPCAPI::tagStudent_t& s);
    // An object of the given "type".
    static JsonObject Object(const std::string& type);

private:
    static void Write(const std::string& text);
    static std::FILE* s_out;
    static std::mutex s_mutex;
    static bool s_json;
};

} // namespace tavctl

#endif
