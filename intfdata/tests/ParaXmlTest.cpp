#include "ParaXml.h"

#include <gtest/gtest.h>

#include <climits>

using IPCAPI::CParaXml;
using IPCAPI::tagStudent_t;

namespace {

const std::string kDecl = "<?xml version=\"1.0\" ?>";

std::string print(const CParaXml& p)
{
    std::string s;
    EXPECT_TRUE(p.toString(s));
    return s;
}

CParaXml parsed(const std::string& text)
{
    CParaXml p;
    EXPECT_TRUE(p.loadString(text));
    return p;
}

std::string param(const std::string& name, const std::string& type, const std::string& value)
{
    return "<Parameter name=\"" + name + "\" type=\"" + type + "\" value=\"" + value + "\" />";
}

tagStudent_t student(const std::string& id, int n)
{
    tagStudent_t s;
    s.studentID = id;
    s.username = "user" + id;
    s.hostname = "host-" + id;
    s.IP = "10.0.0." + std::to_string(n);
    s.start_time = 1000 + n;
    s.bLocked = n % 2;
    s.status = -n;
    return s;
}

void expectSame(const tagStudent_t& a, const tagStudent_t& b)
{
    EXPECT_EQ(a.studentID, b.studentID);
    EXPECT_EQ(a.username, b.username);
    EXPECT_EQ(a.hostname, b.hostname);
    EXPECT_EQ(a.IP, b.IP);
    EXPECT_EQ(a.start_time, b.start_time);
    EXPECT_EQ(a.bLocked, b.bLocked);
    EXPECT_EQ(a.status, b.status);
}

} // namespace

TEST(ParaXml, PrintsTheWholeDocumentOnOneLine)
{
    CParaXml p;
    EXPECT_EQ(print(p), "");
    std::string text = "keep:";
    p.toString(text);
    EXPECT_EQ(text, "keep:"); // appends, and an empty document adds nothing

    EXPECT_TRUE(p.setString("A", "x"));
    EXPECT_EQ(print(p), kDecl + "<Parameters>" + param("A", "string", "x") + "</Parameters>");

    EXPECT_TRUE(p.setInt("N", -5));
    std::list<std::string> entries{"one", ""};
    EXPECT_TRUE(p.setListPara(entries));
    EXPECT_TRUE(p.setString("A", "y")); // appended, not replaced
    EXPECT_EQ(print(p), kDecl + "<Parameters>" + param("A", "string", "x") + param("N", "int", "-5") +
                            param("listmember", "string", "one") + param("listmember", "string", "") +
                            param("A", "string", "y") + "</Parameters>");
}

TEST(ParaXml, EmptyListStillCreatesTheRoot)
{
    CParaXml p;
    std::list<std::string> none;
    EXPECT_TRUE(p.setListPara(none));
    EXPECT_EQ(print(p), kDecl + "<Parameters />");
    std::list<std::string> out{"untouched"};
    EXPECT_FALSE(p.getListPara(out)); // the root has no child
    EXPECT_EQ(out, std::list<std::string>{"untouched"});
}

TEST(ParaXml, StudentRecordsPrintTheirMembersInWireOrder)
{
    CParaXml p;
    std::list<tagStudent_t> list{student("s1", 3)};
    EXPECT_TRUE(p.setStudentInfoList(list));
    EXPECT_EQ(print(p), kDecl +
                            "<Parameters><Parameter name=\"list_student_info\" type=\"struct_StudentInfo\" value=\"\">"
                            "<Member name=\"studentID\" type=\"string\" value=\"s1\" />"
                            "<Member name=\"username\" type=\"string\" value=\"users1\" />"
                            "<Member name=\"hostname\" type=\"string\" value=\"host-s1\" />"
                            "<Member name=\"IP\" type=\"string\" value=\"10.0.0.3\" />"
                            "<Member name=\"bLocked\" type=\"int\" value=\"1\" />"
                            "<Member name=\"start_time\" type=\"int\" value=\"1003\" />"
                            "<Member name=\"status\" type=\"int\" value=\"-3\" />"
                            "</Parameter></Parameters>");
    EXPECT_EQ(list.size(), 1u);
}

TEST(ParaXml, EscapesValuesAndReadsThemBackUnchanged)
{
    const std::string nul("a\0b", 3);
    const struct {
        std::string value;
        std::string printed;
    } cases[] = {
        {"a<b>c&d'e", "value=\"a&lt;b&gt;c&amp;d&apos;e\""},
        {"say \"hi\"", "value='say &quot;hi&quot;'"},
        {"\x01\x1f\t\n", "value=\"&#x01;&#x1F;&#x09;&#x0A;\""},
        // An ampersand before "#x" is escaped too, so the text survives.
        {"&#x41;", "value=\"&amp;#x41;\""},
        {nul, "value=\"a&#x00;b\""},
        {"caf\xc3\xa9 \xe2\x82\xac", "value=\"caf\xc3\xa9 \xe2\x82\xac\""},
    };
    for (const auto& c : cases) {
        CParaXml p;
        p.setString("k", c.value);
        const std::string text = print(p);
        EXPECT_NE(text.find(c.printed), std::string::npos) << text;
        std::string back;
        EXPECT_TRUE(parsed(text).getString("k", back)) << text;
        EXPECT_EQ(back, c.value) << text;
    }
}

TEST(ParaXml, GettersTakeTheFirstMatchOfNameAndType)
{
    CParaXml p;
    p.setString("A", "x");
    p.setString("A", "y");
    p.setInt("N", 5);
    std::string s = "untouched";
    int n = -1;
    EXPECT_TRUE(p.getString("A", s));
    EXPECT_EQ(s, "x");
    s = "untouched";
    EXPECT_FALSE(p.getString("N", s)); // an int is not a string
    EXPECT_FALSE(p.getString("a", s)); // names match exactly
    EXPECT_EQ(s, "untouched");
    EXPECT_FALSE(p.getInt("A", n));
    EXPECT_EQ(n, -1);
    EXPECT_TRUE(p.getInt("N", n));
    EXPECT_EQ(n, 5);

    // Without a value or a name a child is passed over.
    CParaXml q = parsed("<Parameters><Parameter name=\"A\" type=\"string\" />"
                        "<Parameter type=\"string\" value=\"none\" />"
                        "<Parameter name=\"A\" type=\"string\" value=\"2\" /></Parameters>");
    EXPECT_TRUE(q.getString("A", s));
    EXPECT_EQ(s, "2");
    EXPECT_FALSE(q.getString("", s));
}

TEST(ParaXml, IntValuesReadTheirLeadingNumber)
{
    const struct {
        const char* value;
        int expected;
    } cases[] = {{"12abc", 12},        {"abc", 0},          {" 7", 7},
                 {"-3x", -3},          {"+4", 4},           {"", 0},
                 {"2147483647", INT_MAX}, {"99999999999", INT_MAX}, {"-99999999999", INT_MIN}};
    for (const auto& c : cases) {
        CParaXml p = parsed("<Parameters>" + param("N", "int", c.value) + "</Parameters>");
        int n = -1;
        EXPECT_TRUE(p.getInt("N", n)) << c.value;
        EXPECT_EQ(n, c.expected) << c.value;
    }
    CParaXml missing = parsed("<Parameters><Parameter name=\"N\" type=\"int\" /></Parameters>");
    int n = -1;
    EXPECT_TRUE(missing.getInt("N", n));
    EXPECT_EQ(n, 0);
}

TEST(ParaXml, ListEntriesIgnoreTheirType)
{
    CParaXml none;
    std::list<std::string> list{"untouched"};
    EXPECT_FALSE(none.getListPara(list));
    EXPECT_EQ(list.size(), 1u);

    CParaXml p;
    p.setInt("N", 1);
    EXPECT_TRUE(p.getListPara(list)); // children, but no entries
    EXPECT_TRUE(list.empty());

    CParaXml q = parsed("<P><Parameter name=\"listmember\" type=\"int\" value=\"1\" />"
                        "<Parameter name=\"listmember\" type=\"string\" />"
                        "<Parameter name=\"other\" type=\"string\" value=\"x\" />"
                        "<Parameter name=\"listmember\" value=\"2\" /></P>");
    list = {"old"};
    EXPECT_TRUE(q.getListPara(list));
    EXPECT_EQ(list, (std::list<std::string>{"1", "2"}));

    std::list<std::string> in{"a", "b & c", "a"};
    CParaXml r;
    r.setListPara(in);
    EXPECT_TRUE(parsed(print(r)).getListPara(list));
    EXPECT_EQ(list, in);
}

TEST(ParaXml, StudentRecordsRoundTrip)
{
    std::list<tagStudent_t> in{student("s1", 1), student("s2", 2)};
    CParaXml p;
    p.setString("before", "x");
    p.setStudentInfoList(in);
    std::list<tagStudent_t> out{student("stale", 9)};
    EXPECT_TRUE(parsed(print(p)).getStudentInfoList(out));
    ASSERT_EQ(out.size(), 2u);
    expectSame(out.front(), in.front());
    expectSame(out.back(), in.back());

    CParaXml none;
    EXPECT_FALSE(none.getStudentInfoList(out));
    EXPECT_EQ(out.size(), 2u);
}

// A record lacking members must not inherit the previous student's values.
TEST(ParaXml, StudentRecordsStartEmpty)
{
    CParaXml p = parsed(
        "<Parameters>"
        "<Parameter name=\"list_student_info\" type=\"struct_StudentInfo\" value=\"\">"
        "<Member name=\"studentID\" value=\"s1\" /><Member name=\"username\" value=\"ann\" />"
        "<Member name=\"hostname\" value=\"h1\" /><Member name=\"IP\" value=\"10.0.0.1\" />"
        "<Member name=\"bLocked\" type=\"string\" value=\"1\" /><Member name=\"start_time\" value=\"5x\" />"
        "<Member name=\"status\" value=\"7\" /><Member name=\"extra\" value=\"?\" /></Parameter>"
        "<Parameter name=\"list_student_info\" type=\"other\" value=\"\"><Member name=\"studentID\" value=\"no\" /></Parameter>"
        "<Parameter name=\"list_student_info\" type=\"struct_StudentInfo\">"
        "<Member name=\"studentID\" value=\"s2\" /><Member name=\"username\" /><Member name=\"status\" />"
        "</Parameter></Parameters>");
    std::list<tagStudent_t> out;
    EXPECT_TRUE(p.getStudentInfoList(out));
    ASSERT_EQ(out.size(), 2u);
    const tagStudent_t& a = out.front();
    EXPECT_EQ(a.studentID, "s1");
    EXPECT_EQ(a.username, "ann");
    EXPECT_EQ(a.bLocked, 1); // the member's type does not matter
    EXPECT_EQ(a.start_time, 5);
    EXPECT_EQ(a.status, 7);
    const tagStudent_t& b = out.back();
    EXPECT_EQ(b.studentID, "s2");
    EXPECT_EQ(b.username, "");
    EXPECT_EQ(b.hostname, "");
    EXPECT_EQ(b.IP, "");
    EXPECT_EQ(b.start_time, 0);
    EXPECT_EQ(b.bLocked, 0);
    EXPECT_EQ(b.status, 0);
}

TEST(ParaXml, ReadsAndWritesTheFirstElementWhateverItsName)
{
    CParaXml p = parsed("<!-- note --><Other><Parameter name=\"A\" type=\"string\" value=\"v\" /></Other>");
    std::string s;
    EXPECT_TRUE(p.getString("A", s));
    EXPECT_EQ(s, "v");
    p.setInt("N", 2);
    EXPECT_EQ(print(p), "<!-- note --><Other>" + param("A", "string", "v") + param("N", "int", "2") + "</Other>");
}

TEST(ParaXml, LoadingAddsToTheDocument)
{
    CParaXml p;
    p.setString("A", "first");
    p.loadString(kDecl + "<Parameters>" + param("A", "string", "second") + param("B", "string", "b") +
                 "</Parameters>");
    std::string s;
    EXPECT_TRUE(p.getString("A", s));
    EXPECT_EQ(s, "first");
    EXPECT_FALSE(p.getString("B", s)); // under the second root

    // A text that breaks off keeps what was read before the break.
    CParaXml q = parsed("<Parameters>" + param("A", "string", "1") + "<Parameter name=");
    EXPECT_TRUE(q.getString("A", s));
    EXPECT_EQ(s, "1");

    CParaXml r = parsed("not xml at all");
    EXPECT_FALSE(r.getString("A", s));
    EXPECT_EQ(print(r), "");
}

TEST(ParaXml, ClearStartsAFreshDocument)
{
    CParaXml p;
    p.setString("A", "x");
    p.clear();
    EXPECT_EQ(print(p), "");
    p.setInt("N", 1);
    EXPECT_EQ(print(p), kDecl + "<Parameters>" + param("N", "int", "1") + "</Parameters>");
}

TEST(ParaXml, CopiesAreIndependent)
{
    CParaXml p;
    p.setString("A", "x");
    CParaXml copy(p);
    copy.setString("B", "y");
    CParaXml assigned;
    assigned.setString("Z", "z");
    assigned = p;
    CParaXml& self = assigned;
    assigned = self;
    EXPECT_EQ(print(p), kDecl + "<Parameters>" + param("A", "string", "x") + "</Parameters>");
    EXPECT_EQ(print(assigned), print(p));
    EXPECT_EQ(print(copy), kDecl + "<Parameters>" + param("A", "string", "x") + param("B", "string", "y") +
                               "</Parameters>");
}
