#include "Output.h"

#include "ResultStream.h"
#include "TAVLog.h"

namespace tavctl {

std::FILE* Output::s_out = stdout;
std::mutex Output::s_mutex;
bool Output::s_json = false;

void Output::Setup(bool verbose, bool json)
{
    s_json = json;
    s_out = tavtools::TakeStandardOutput(verbose);
}

void Output::Write(const std::string& text)
{
    std::lock_guard<std::mutex> lock(s_mutex);
    std::fputs(text.c_str(), s_out);
    std::fputc('\n', s_out);
    std::fflush(s_out);
}

void Output::Emit(const std::vector<std::string>& lines, const JsonObject& object)
{
    if (s_json) {
        Write(object.Text());
        return;
    }
    for (const std::string& l : lines)
        Write(l);
}

void Output::Line(const std::string& text)
{
    if (!s_json)
        Write(text);
}

void Output::Error(const std::string& text, int status)
{
    if (s_json)
        Write(Object("error").Str("message", text).Int("status", status).Text());
    {
        std::lock_guard<std::mutex> lock(s_mutex);
        std::fflush(s_out);
        std::fprintf(stderr, "tavctl: %s\n", text.c_str());
        std::fflush(stderr);
    }
    LibTAVData::CTAVLog::WriteLine("tavctl: " + text, LibTAVData::CTAVLog::LOG_ERROR, "", false);
}

JsonObject Output::Object(const std::string& type)
{
    JsonObject o;
    o.Str("type", type);
    return o;
}

std::string Output::Quote(const std::string& text)
{
    static const char hex[] = "0123456789abcdef";
    std::string q = "\"";
    for (unsigned char c : text) {
        switch (c) {
        case '"':
            q += "\\\"";
            break;
        case '\\':
            q += "\\\\";
            break;
        case '\n':
            q += "\\n";
            break;
        case '\t':
            q += "\\t";
            break;
        case '\r':
            q += "\\r";
            break;
        default:
            if (c < 0x20 || c == 0x7f) {
                q += "\\x";
                q += hex[c >> 4];
                q += hex[c & 15];
            } else {
                q += static_cast<char>(c);
            }
        }
    }
    return q + "\"";
}

std::string Output::Word(const std::string& text)
{
    if (text.empty())
        return Quote(text);
    for (unsigned char c : text)
        if (c <= ' ' || c == '"' || c == '\\' || c == 0x7f || c == '=')
            return Quote(text);
    return text;
}

std::string Output::Student(const IPCAPI::tagStudent_t& s)
{
    return Word(s.studentID) + " user=" + Word(s.username) + " host=" + Word(s.hostname) +
           " ip=" + Word(s.IP) + " start_time=" + std::to_string(s.start_time) +
           " locked=" + std::to_string(s.bLocked) + " status=" + std::to_string(s.status);
}

JsonObject Output::StudentJson(const IPCAPI::tagStudent_t& s)
{
    JsonObject o;
    o.Str("studentID", s.studentID)
        .Str("username", s.username)
        .Str("hostname", s.hostname)
        .Str("IP", s.IP);
    o.Int("start_time", s.start_time).Int("bLocked", s.bLocked).Int("status", s.status);
    return o;
}

} // namespace tavctl
