// One student: id and name, stored as StudentInfo.xml. The student
// application sends this document to its daemon; class groups hold full
// student objects too.
#ifndef TAV_DATA_STUDENTINFODATA_H
#define TAV_DATA_STUDENTINFODATA_H

#include "TAVDataProvider.h"

#include <string>

namespace LibTAVData {

class CStudentInfoData : public CTAVDataProvider {
public:
    CStudentInfoData();
    ~CStudentInfoData() override;

    // -1 when "StudentInfo", "StudentID" or, after it, "StudentName" is
    // missing (the id is taken before the name is looked for). An element
    // without text leaves its field unchanged.
    int DOM2Member() override;
    int Member2DOM() override;

    std::string GetStudentID() const;
    std::string GetStudentName() const;
    void SetStudentID(std::string id);
    void SetStudentName(std::string name);

private:
    std::string m_strStudentID;
    std::string m_strStudentName;
};

} // namespace LibTAVData

#endif
