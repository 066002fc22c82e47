// One JSON object written as one line (JSON Lines), keys in the order added.
// Strings are escaped so that any strict parser reads them: quote,
// backslash and every control character are escaped, and a byte that is not
// part of well-formed UTF-8 becomes U+FFFD (texts that crossed the bus are
// UTF-8 already; local file names may not be).
#ifndef TAV_TOOLS_JSON_H
#define TAV_TOOLS_JSON_H

#include <string>
#include <vector>

namespace tavtools {

class JsonObject {
public:
    JsonObject& Str(const std::string& key, const std::string& value);
    JsonObject& Int(const std::string& key, long long value);
    JsonObject& Num(const std::string& key, double value); // finite
    JsonObject& Bool(const std::string& key, bool value);
    JsonObject& Null(const std::string& key);
    JsonObject& Obj(const std::string& key, const JsonObject& value);
    JsonObject& Strs(const std::string& key, const std::vector<std::string>& values);
    JsonObject& Objs(const std::string& key, const std::vector<JsonObject>& values);
    // The members of other, after these.
    JsonObject& Merge(const JsonObject& other);

    bool Empty() const { return m_members.empty(); }
    // "{...}", without a newline.
    std::string Text() const;

private:
    JsonObject& Raw(const std::string& key, const std::string& json);
    std::string m_members;
};

// text as a JSON string literal, quotes included.
std::string JsonString(const std::string& text);

} // namespace tavtools

#endif
