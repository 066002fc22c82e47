// One teacher: name and course, stored as TeacherInfo.xml. The teacher
// application sends this document to its daemon.
#ifndef TAV_DATA_TEACHERINFODATA_H
#define TAV_DATA_TEACHERINFODATA_H

#include "TAVDataProvider.h"

#include <string>

namespace LibTAVData {

class CTeacherInfoData : public CTAVDataProvider {
public:
    CTeacherInfoData();
    ~CTeacherInfoData() override;

    // -1 when "TeacherInfo", "TeacherName" or, after it, "Course" is
    // missing (the name is taken before the course is looked for). An
    // element without text leaves its field unchanged.
    int DOM2Member() override;
    int Member2DOM() override;

    std::string GetTeacherName() const;
    std::string GetCourse() const;
    void SetTeacherName(std::string name);
    void SetCourse(std::string course);

private:
    std::string m_strTeacherName;
    std::string m_strCourse;
};

} // namespace LibTAVData

#endif
