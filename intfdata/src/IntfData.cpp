#include "IntfData.h"

#include "DecimalText.h"
#include "InputLimits.h"

#include <charconv>
#include <exception>

namespace IPCAPI {

namespace {

// Header layout: offset and width of each field.
constexpr std::size_t kMessageAt = 0, kMessageWidth = 64;
constexpr std::size_t kOPIDAt = 64, kNumberWidth = 10;
constexpr std::size_t kStudentAt = 74, kStudentWidth = 64;
constexpr std::size_t kResultAt = 138;
constexpr std::size_t kHeaderWidth = 148;

// Appends field and pads text with blanks up to column end. False when the
// field is wider than the room left for it.
bool appendField(std::string& text, const char* field, std::size_t length, std::size_t end)
{
    if (text.size() + length > end)
        return false;
    text.append(field, length);
    text.append(end - text.size(), ' ');
    return true;
}

bool appendNumber(std::string& text, int value, std::size_t end)
{
    char digits[16];
    const auto res = std::to_chars(digits, digits + sizeof digits, value);
    return appendField(text, digits, static_cast<std::size_t>(res.ptr - digits), end);
}

std::string trimmedField(const std::string& text, std::size_t at, std::size_t width)
{
    std::size_t end = at + width;
    while (end > at && text[end - 1] == ' ')
        --end;
    return text.substr(at, end - at);
}

void readNumber(const std::string& text, std::size_t at, int& value)
{
    const char* field = text.data() + at;
    detail::LeadingDecimal(field, field + kNumberWidth, value);
}

} // namespace

CIntfData::CIntfData() : m_iOPID(0), m_iResult(0) {}

CIntfData::CIntfData(const std::string& message, int operationID, const std::string& studentID)
    : m_strMessage(message), m_iOPID(operationID), m_strStudentID(studentID), m_iResult(0)
{}

CIntfData::CIntfData(const CIntfData& other) = default;
CIntfData& CIntfData::operator=(const CIntfData& other) = default;
CIntfData::~CIntfData() = default;

void CIntfData::SetMessage(const std::string& message) { m_strMessage = message; }
void CIntfData::GetMessage(std::string& message) const { message = m_strMessage; }
void CIntfData::SetStudentID(const std::string& studentID) { m_strStudentID = studentID; }
void CIntfData::GetStudentID(std::string& studentID) const { studentID = m_strStudentID; }
void CIntfData::SetOperationID(int operationID) { m_iOPID = operationID; }
void CIntfData::GetOperationID(int& operationID) const { operationID = m_iOPID; }
void CIntfData::SetResult(int result) { m_iResult = result; }
void CIntfData::GetResult(int& result) const { result = m_iResult; }

bool CIntfData::toString(std::string& text) const
{
    text.clear();
    bool written = false;
    try {
        text.reserve(kHeaderWidth + 512);
        // A field wider than its column would shift the ones after it and
        // the text would read back wrongly: refuse rather than send that.
        written = appendField(text, m_strMessage.data(), m_strMessage.size(),
                              kMessageAt + kMessageWidth) &&
                  appendNumber(text, m_iOPID, kOPIDAt + kNumberWidth) &&
                  appendField(text, m_strStudentID.data(), m_strStudentID.size(),
                              kStudentAt + kStudentWidth) &&
                  appendNumber(text, m_iResult, kResultAt + kNumberWidth) &&
                  m_ParaXml.toString(text);
    } catch (const std::exception&) {
        written = false; // out of memory
    }
    if (!written)
        text.clear();
    return written;
}

bool CIntfData::load(const std::string& text)
{
    // Too long: refused before anything is read or changed.
    if (text.size() < kHeaderWidth || text.size() > tav_common::kMaxDocumentBytes)
        return false;
    try {
        m_strMessage = trimmedField(text, kMessageAt, kMessageWidth);
        readNumber(text, kOPIDAt, m_iOPID);
        m_strStudentID = trimmedField(text, kStudentAt, kStudentWidth);
        readNumber(text, kResultAt, m_iResult);
        return m_ParaXml.loadString(text.substr(kHeaderWidth));
    } catch (const std::exception&) {
        return false; // out of memory
    }
}

} // namespace IPCAPI
