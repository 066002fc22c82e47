// A class group, stored as ClassGroup.xml: named classes, each with its
// students, and the group's own pool of students (independent of the
// classes).
//
// Ownership: a list handed to a setter becomes the object's property with
// its elements; a list from a getter stays the object's (callers may add or
// remove elements in place; an element removed becomes the caller's). Null
// elements are skipped when saving, replacing and destroying.
#ifndef TAV_DATA_CLASSGROUPDATA_H
#define TAV_DATA_CLASSGROUPDATA_H

#include "StudentInfoData.h"
#include "TAVDataProvider.h"

#include <list>
#include <string>

namespace LibTAVData {

// One class of a group: a name and its students, in order.
class CClassDef {
public:
    CClassDef();
    // Destroys the students and their list.
    virtual ~CClassDef();

    std::string GetName() const;
    void SetName(std::string name);

    // The held list itself (null only after a setter was given null).
    std::list<CStudentInfoData*>* GetPStudentsInfoList() const;
    // Takes ownership of list and its students (null allowed); the students
    // held before are destroyed. Passing the held list changes nothing.
    void SetPStudentsInfoList(std::list<CStudentInfoData*>* list);

    // A new class with the same name and new students with the same ids and
    // names, in order; the caller owns it.
    CClassDef* Clone();

private:
    CClassDef(const CClassDef&) = delete;
    CClassDef& operator=(const CClassDef&) = delete;

    std::string m_strName;
    std::list<CStudentInfoData*>* m_pStudentsInfoList;
};

class CClassGroupData : public CTAVDataProvider {
public:
    CClassGroupData();
    // Destroys both lists and their elements.
    ~CClassGroupData() override;

    // -1 without "ClassGroup" or without any "Class" in "ClassInformation"
    // (the lists are left as they were). Otherwise both lists are replaced;
    // the classes are read up to the first one without a name, students
    // lacking "id" or "name" are dropped, and -1 is returned (classes kept)
    // when "Students" holds no "Student".
    int DOM2Member() override;
    int Member2DOM() override;

    std::list<CClassDef*>* GetPClassInfoList() const;
    std::list<CStudentInfoData*>* GetPStudentsInfoList() const;
    void SetPClassInfoList(std::list<CClassDef*>* list);
    void SetPStudentsInfoList(std::list<CStudentInfoData*>* list);

private:
    std::list<CClassDef*>* m_pClassInfoList;
    std::list<CStudentInfoData*>* m_pStudentsInfoList;
};

} // namespace LibTAVData

#endif
