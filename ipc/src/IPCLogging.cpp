#include "IPCLogging.h"
#include "TAVProtocol.h"

#include <algorithm>
#include <cstring>

namespace IPCAPI {

namespace {

const char* const kSecretNames[] = {Param::Password, Param::OldPassword, Param::NewPassword};

bool isSecretName(const std::string& text, std::size_t begin, std::size_t end)
{
    for (const char* name : kSecretNames)
        if (end - begin == std::strlen(name) && text.compare(begin, end - begin, name) == 0)
            return true;
    return false;
}

// Reads attribute `attr` of the tag text[tagBegin, tagEnd): the range of its
// quoted value, or false.
bool attributeValue(const std::string& text, std::size_t tagBegin, std::size_t tagEnd,
                    const char* attr, std::size_t& begin, std::size_t& end)
{
    const std::string key = std::string(" ") + attr + "=";
    std::size_t pos = text.find(key, tagBegin);
    if (pos == std::string::npos || pos >= tagEnd)
        return false;
    pos += key.size();
    if (pos >= tagEnd || (text[pos] != '"' && text[pos] != '\''))
        return false;
    const char quote = text[pos];
    begin = pos + 1;
    end = text.find(quote, begin);
    return end != std::string::npos && end < tagEnd;
}

} // namespace

bool IsSecretParameter(const char* name)
{
    return std::any_of(std::begin(kSecretNames), std::end(kSecretNames),
                       [name](const char* secret) { return std::strcmp(name, secret) == 0; });
}

std::string RedactSecrets(const std::string& payload)
{
    // Cheap exit for the common case.
    if (payload.find("assword") == std::string::npos)
        return payload;
    std::string out = payload;
    std::size_t pos = 0;
    while ((pos = out.find("<Parameter ", pos)) != std::string::npos) {
        const std::size_t tagEnd = out.find('>', pos);
        if (tagEnd == std::string::npos)
            break;
        std::size_t nb, ne, vb, ve;
        if (attributeValue(out, pos, tagEnd, "name", nb, ne) && isSecretName(out, nb, ne) &&
            attributeValue(out, pos, tagEnd, "value", vb, ve)) {
            out.replace(vb, ve - vb, "***");
            pos = vb;
        } else {
            pos = tagEnd;
        }
    }
    return out;
}

namespace {

// Appends what a log line shows of text (already redacted); size is the
// size of the payload it came from.
void appendCut(std::string& line, std::string_view text, std::size_t size)
{
    if (text.size() <= kLoggedPayloadBytes) {
        line.append(text);
        return;
    }
    std::size_t cut = kLoggedPayloadBytes;
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80)
        --cut;
    line.append(text.substr(0, cut));
    line += "... (";
    line += std::to_string(size);
    line += " bytes)";
}

} // namespace

std::string PayloadLine(std::string_view prefix, const std::string& payload)
{
    std::string line;
    line.reserve(prefix.size() + std::min(payload.size(), kLoggedPayloadBytes + 32));
    line.append(prefix);
    // Redacted before the cut: a secret cut in half would no longer be
    // recognised. Most payloads hold no secret and are not copied.
    if (payload.find("assword") == std::string::npos)
        appendCut(line, payload, payload.size());
    else
        appendCut(line, RedactSecrets(payload), payload.size());
    return line;
}

std::string LoggedPayload(const std::string& payload) { return PayloadLine({}, payload); }

} // namespace IPCAPI
