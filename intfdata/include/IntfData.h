// The envelope of every request, reply and notification on the bus: a
// 148-character header, space-padded fields left-aligned
//   0  message name   (64)
//   64 operation id   (10, decimal)
//   74 student id     (64)
//   138 result        (10, decimal)
// followed by the printed parameter document (empty when there are none).
#ifndef TAV_INTFDATA_INTFDATA_H
#define TAV_INTFDATA_INTFDATA_H

#include "ParaXml.h"

#include <string>

namespace IPCAPI {

class CIntfData {
public:
    // Empty message and student id, operation id 0, result 0.
    CIntfData();
    // Result 0, no parameters.
    CIntfData(const std::string& message, int operationID, const std::string& studentID);
    CIntfData(const CIntfData& other);
    CIntfData& operator=(const CIntfData& other);
    virtual ~CIntfData();

    void SetMessage(const std::string& message);
    void GetMessage(std::string& message) const;
    void SetStudentID(const std::string& studentID);
    void GetStudentID(std::string& studentID) const;
    void SetOperationID(int operationID);
    void GetOperationID(int& operationID) const;
    void SetResult(int result);
    void GetResult(int& result) const;

    // Replaces text with the envelope text. False, text empty, when a field
    // does not fit its width (message or student id over 64 characters).
    bool toString(std::string& text) const;
    // Reads an envelope text. False, nothing changed, for a text shorter
    // than the header or longer than 4 MiB (larger than any message of the
    // system; refused before anything is read, unlike a parameter section
    // that does not parse, which is no failure). Trailing spaces of the message and student id are
    // dropped; a number field that holds no number keeps the old value. The
    // parameters are added to those already held, so load into a fresh
    // envelope. Also false when memory runs out; no call throws.
    bool load(const std::string& text);

    // The parameters; callers fill and read them directly.
    CParaXml m_ParaXml;

private:
    std::string m_strMessage;
    int m_iOPID;
    std::string m_strStudentID;
    int m_iResult;
};

} // namespace IPCAPI

#endif
