#include "ClassGroupData.h"
#include "StudentInfoData.h"
#include "TAVLayout.h"
#include "TeacherInfoData.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <string>

using namespace LibTAVData;

namespace {

const char kFullGroup[] = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                          "<ClassGroup>\n"
                          "    <ClassInformation>\n"
                          "        <Class name=\"1A\">\n"
                          "            <Student id=\"s1\" name=\"Ann\" />\n"
                          // TinyXML quotes a value holding a double quote with apostrophes.
                          "            <Student id=\"s2\" name='Bo &amp; &quot;Bob&quot;' />\n"
                          "        </Class>\n"
                          "        <Class name=\"\" />\n"
                          "    </ClassInformation>\n"
                          "    <Students>\n"
                          "        <Student id=\"s9\" name=\"Pool\" />\n"
                          "    </Students>\n"
                          "</ClassGroup>\n";

CStudentInfoData* Student(const std::string& id, const std::string& name)
{
    CStudentInfoData* s = new CStudentInfoData;
    s->SetStudentID(id);
    s->SetStudentName(name);
    return s;
}

std::string Students(const std::list<CStudentInfoData*>* list)
{
    std::string s;
    for (const CStudentInfoData* st : *list)
        s += st ? st->GetStudentID() + "=" + st->GetStudentName() + " " : std::string("null ");
    return s;
}

std::string Classes(const CClassGroupData& g)
{
    std::string s;
    for (const CClassDef* c : *g.GetPClassInfoList())
        s += "[" + c->GetName() + ": " + Students(c->GetPStudentsInfoList()) + "]";
    return s;
}

} // namespace

TEST(ClassGroup, SavedTexts)
{
    CClassGroupData fresh;
    std::string out;
    ASSERT_EQ(fresh.Save2String(out), 0);
    EXPECT_EQ(out, "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                   "<ClassGroup>\n"
                   "    <ClassInformation />\n"
                   "    <Students />\n"
                   "</ClassGroup>\n");

    CClassGroupData full;
    CClassDef* a = new CClassDef;
    a->SetName("1A");
    a->GetPStudentsInfoList()->push_back(Student("s1", "Ann"));
    a->GetPStudentsInfoList()->push_back(nullptr); // null entries are skipped
    a->GetPStudentsInfoList()->push_back(Student("s2", "Bo & \"Bob\""));
    full.GetPClassInfoList()->push_back(a);
    full.GetPClassInfoList()->push_back(nullptr);
    CClassDef* noStudents = new CClassDef;
    noStudents->SetPStudentsInfoList(nullptr);
    full.GetPClassInfoList()->push_back(noStudents);
    full.GetPStudentsInfoList()->push_back(nullptr);
    full.GetPStudentsInfoList()->push_back(Student("s9", "Pool"));
    const std::string file = tavtest::TempRoot() + "/" + CLASS_GROUP_XML;
    ASSERT_EQ(full.Save2File(file), 0);
    EXPECT_EQ(tavtest::ReadFile(file), kFullGroup);

    CClassGroupData loaded;
    ASSERT_EQ(loaded.LoadFromFile(file), 0);
    EXPECT_EQ(Classes(loaded), "[1A: s1=Ann s2=Bo & \"Bob\" ][: ]");
    EXPECT_EQ(Students(loaded.GetPStudentsInfoList()), "s9=Pool ");
    ASSERT_EQ(loaded.Save2String(out), 0);
    EXPECT_EQ(out, kFullGroup);
}

TEST(ClassGroup, LoadRules)
{
    CClassGroupData g;
    g.GetPStudentsInfoList()->push_back(Student("old", "Old"));
    // No "Class": nothing changes.
    EXPECT_EQ(g.LoadFromString("<ClassGroup><ClassInformation/><Students>"
                               "<Student id=\"n\" name=\"N\"/></Students></ClassGroup>"),
              -1);
    EXPECT_EQ(Students(g.GetPStudentsInfoList()), "old=Old ");
    EXPECT_EQ(g.LoadFromString("<Other/>"), -1);
    EXPECT_EQ(g.LoadFromFile(tavtest::TempRoot() + "/missing.xml"), -1);
    EXPECT_EQ(Students(g.GetPStudentsInfoList()), "old=Old ");

    // A class without a name ends the classes; students lacking an
    // attribute are dropped; the pool is still read.
    EXPECT_EQ(g.LoadFromString("<ClassGroup><ClassInformation>"
                               "<Class name=\"A\"><Student id=\"1\" name=\"One\"/>"
                               "<Student id=\"2\"/><Student name=\"Three\"/>"
                               "<Student id=\"4\" name=\"\"/></Class>"
                               "<Class><Student id=\"5\" name=\"Five\"/></Class>"
                               "<Class name=\"C\"/></ClassInformation>"
                               "<Students><Student id=\"p\"/><Student id=\"q\" name=\"Q\"/>"
                               "</Students></ClassGroup>"),
              0);
    EXPECT_EQ(Classes(g), "[A: 1=One 4= ]");
    EXPECT_EQ(Students(g.GetPStudentsInfoList()), "q=Q ");

    // No student in the pool: -1 with the classes loaded and an empty pool.
    EXPECT_EQ(g.LoadFromString("<ClassGroup><ClassInformation><Class name=\"B\"/>"
                               "</ClassInformation><Students/></ClassGroup>"),
              -1);
    EXPECT_EQ(Classes(g), "[B: ]");
    EXPECT_EQ(Students(g.GetPStudentsInfoList()), "");
    EXPECT_EQ(g.LoadFromString("<ClassGroup><ClassInformation><Class name=\"C\"/>"
                               "</ClassInformation></ClassGroup>"),
              -1);
    EXPECT_EQ(Classes(g), "[C: ]");
}

TEST(ClassGroup, ListOwnership)
{
    CClassGroupData g;
    std::list<CClassDef*>* classes = g.GetPClassInfoList();
    std::list<CStudentInfoData*>* pool = g.GetPStudentsInfoList();
    classes->push_back(new CClassDef);
    pool->push_back(Student("a", "A"));
    g.SetPClassInfoList(classes);
    g.SetPStudentsInfoList(pool);
    EXPECT_EQ(g.GetPClassInfoList(), classes);
    EXPECT_EQ(Students(g.GetPStudentsInfoList()), "a=A ");

    // Replacing frees the old lists with their elements.
    g.SetPClassInfoList(new std::list<CClassDef*>{new CClassDef, nullptr});
    g.SetPStudentsInfoList(new std::list<CStudentInfoData*>{Student("b", "B"), nullptr});
    // An element removed through the getter becomes the caller's.
    CStudentInfoData* taken = g.GetPStudentsInfoList()->front();
    g.GetPStudentsInfoList()->pop_front();
    delete taken;

    // Without lists: saved empty, made anew by a load.
    g.SetPClassInfoList(nullptr);
    g.SetPStudentsInfoList(nullptr);
    std::string out;
    ASSERT_EQ(g.Save2String(out), 0);
    EXPECT_NE(out.find("<ClassInformation />\n    <Students />"), std::string::npos);
    EXPECT_EQ(g.LoadFromString("<ClassGroup><ClassInformation><Class name=\"X\"/>"
                               "</ClassInformation><Students><Student id=\"1\" name=\"2\"/>"
                               "</Students></ClassGroup>"),
              0);
    EXPECT_EQ(Classes(g), "[X: ]");
}

TEST(ClassDef, CloneAndOwnership)
{
    CClassDef* original = new CClassDef;
    original->SetName("2B");
    original->GetPStudentsInfoList()->push_back(Student("s1", "Ann"));
    original->GetPStudentsInfoList()->push_back(Student("s2", "Bob"));
    CClassDef* clone = original->Clone();
    ASSERT_NE(clone, nullptr);
    EXPECT_EQ(clone->GetName(), "2B");
    EXPECT_EQ(Students(clone->GetPStudentsInfoList()), "s1=Ann s2=Bob ");
    EXPECT_NE(clone->GetPStudentsInfoList(), original->GetPStudentsInfoList());
    EXPECT_NE(clone->GetPStudentsInfoList()->front(), original->GetPStudentsInfoList()->front());
    delete clone;
    EXPECT_EQ(Students(original->GetPStudentsInfoList()), "s1=Ann s2=Bob ");

    std::list<CStudentInfoData*>* held = original->GetPStudentsInfoList();
    original->SetPStudentsInfoList(held);
    EXPECT_EQ(original->GetPStudentsInfoList(), held);
    held->push_back(nullptr);
    clone = original->Clone(); // null students have nothing to copy
    EXPECT_EQ(Students(clone->GetPStudentsInfoList()), "s1=Ann s2=Bob ");
    delete clone;

    original->SetPStudentsInfoList(nullptr);
    clone = original->Clone();
    ASSERT_NE(clone->GetPStudentsInfoList(), nullptr);
    EXPECT_TRUE(clone->GetPStudentsInfoList()->empty());
    delete clone;
    delete original;
}

TEST(StudentInfo, SavedTextsAndLoadRules)
{
    CStudentInfoData fresh;
    std::string out;
    ASSERT_EQ(fresh.Save2String(out), 0);
    EXPECT_EQ(out, "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                   "<StudentInfo>\n"
                   "    <StudentID></StudentID>\n"
                   "    <StudentName></StudentName>\n"
                   "</StudentInfo>\n");

    CStudentInfoData full;
    full.SetStudentID("netbook-07");
    full.SetStudentName("Zoë <Z>");
    const std::string file = tavtest::TempRoot() + "/" + STUDENT_INFO_XML;
    ASSERT_EQ(full.Save2File(file), 0);
    const std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                             "<StudentInfo>\n"
                             "    <StudentID>netbook-07</StudentID>\n"
                             "    <StudentName>Zoë &lt;Z&gt;</StudentName>\n"
                             "</StudentInfo>\n";
    EXPECT_EQ(tavtest::ReadFile(file), text);
    CStudentInfoData loaded;
    ASSERT_EQ(loaded.LoadFromFile(file), 0);
    EXPECT_EQ(loaded.GetStudentID(), "netbook-07");
    EXPECT_EQ(loaded.GetStudentName(), "Zoë <Z>");

    // Empty elements keep the fields; a saved empty student reloads so.
    ASSERT_EQ(loaded.LoadFromString(out), 0);
    EXPECT_EQ(loaded.GetStudentID(), "netbook-07");
    // "StudentName" before "StudentID": the id is taken, then -1.
    EXPECT_EQ(loaded.LoadFromString("<StudentInfo><StudentName>N</StudentName>"
                                    "<StudentID>I</StudentID></StudentInfo>"),
              -1);
    EXPECT_EQ(loaded.GetStudentID(), "I");
    EXPECT_EQ(loaded.GetStudentName(), "Zoë <Z>");
    EXPECT_EQ(loaded.LoadFromString("<StudentInfo/>"), -1);
    EXPECT_EQ(loaded.LoadFromString("<TeacherInfo><StudentID>x</StudentID></TeacherInfo>"), -1);
    EXPECT_EQ(loaded.GetStudentID(), "I");
}

TEST(TeacherInfo, SavedTextsAndLoadRules)
{
    std::string out;
    CTeacherInfoData full;
    full.SetTeacherName("Ms Grey");
    full.SetCourse("  Maths & Physics  ");
    ASSERT_EQ(full.Save2String(out), 0);
    EXPECT_EQ(out, "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n"
                   "<TeacherInfo>\n"
                   "    <TeacherName>Ms Grey</TeacherName>\n"
                   "    <Course>  Maths &amp; Physics  </Course>\n"
                   "</TeacherInfo>\n");
    CTeacherInfoData loaded;
    ASSERT_EQ(loaded.LoadFromString(out), 0);
    EXPECT_EQ(loaded.GetTeacherName(), "Ms Grey");
    EXPECT_EQ(loaded.GetCourse(), "  Maths & Physics  ");

    EXPECT_EQ(loaded.LoadFromString("<TeacherInfo><TeacherName>T</TeacherName></TeacherInfo>"), -1);
    EXPECT_EQ(loaded.GetTeacherName(), "T");
    EXPECT_EQ(loaded.GetCourse(), "  Maths & Physics  ");
    EXPECT_EQ(loaded.LoadFromString("<TeacherInfo><Course>C</Course></TeacherInfo>"), -1);
    EXPECT_EQ(loaded.GetCourse(), "  Maths & Physics  ");
}
