#include "ParaXml.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

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

std::string doc(const std::string& children)
{
    return kDecl + "<Parameters>" + children + "</Parameters>";
}

} // namespace

TEST(ParaXml, PrintsSettersInOrderOnOneLine)
{
    CParaXml p;
    std::string text = "keep:";
    EXPECT_TRUE(p.toString(text));
    EXPECT_EQ(text, "keep:"); // appends; an empty document adds nothing

    EXPECT_TRUE(p.setString("A", "x"));
    EXPECT_EQ(print(p), doc(param("A", "string", "x")));
    std::list<std::string> entries{"one", ""};
    EXPECT_TRUE(p.setInt("N", -5));
    EXPECT_TRUE(p.setListPara(entries));
    EXPECT_TRUE(p.setString("A", "y")); // appended, not replaced
    EXPECT_EQ(print(p), doc(param("A", "string", "x") + param("N", "int", "-5") +
                            param("listmember", "string", "one") +
                            param("listmember", "string", "") + param("A", "string", "y")));

    std::list<tagStudent_t> students(1);
    students.front() = {"s1", "ann", "h1", "10.0.0.3", 1003, 1, -3};
    CParaXml q;
    EXPECT_TRUE(q.setStudentInfoList(students));
    EXPECT_EQ(print(q),
              doc("<Parameter name=\"list_student_info\" type=\"struct_StudentInfo\" value=\"\">"
                  "<Member name=\"studentID\" type=\"string\" value=\"s1\" />"
                  "<Member name=\"username\" type=\"string\" value=\"ann\" />"
                  "<Member name=\"hostname\" type=\"string\" value=\"h1\" />"
                  "<Member name=\"IP\" type=\"string\" value=\"10.0.0.3\" />"
                  "<Member name=\"bLocked\" type=\"int\" value=\"1\" />"
                  "<Member name=\"start_time\" type=\"int\" value=\"1003\" />"
                  "<Member name=\"status\" type=\"int\" value=\"-3\" /></Parameter>"));

    std::list<std::string> none;
    CParaXml r;
    EXPECT_TRUE(r.setListPara(none));
    EXPECT_EQ(print(r), kDecl + "<Parameters />");
}

TEST(ParaXml, EscapesValuesAndReadsThemBackUnchanged)
{
    const struct {
        std::string value, printed;
    } cases[] = {
        {"a<b>c&d'e", "value=\"a&lt;b&gt;c&amp;d&apos;e\""},
        {"say \"hi\"", "value='say &quot;hi&quot;'"},
        {"\x01\x1f\t\n", "value=\"&#x01;&#x1F;&#x09;&#x0A;\""},
        {"&#x41;", "value=\"&amp;#x41;\""}, // would read back as "A" if passed through
        {std::string("a\0b", 3), "value=\"a&#x00;b\""},
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
    CParaXml p = parsed(
        doc(param("A", "string", "x") + param("A", "string", "y") + param("N", "int", "5") +
            "<Parameter name=\"B\" type=\"string\" /><Parameter type=\"string\" value=\"none\" />" +
            param("B", "string", "2")));
    std::string s = "untouched";
    int n = -1;
    EXPECT_TRUE(p.getString("A", s));
    EXPECT_EQ(s, "x");
    EXPECT_TRUE(p.getString("B", s)); // a child without a value is passed over
    EXPECT_EQ(s, "2");
    s = "untouched";
    EXPECT_FALSE(p.getString("N", s)); // an int is not a string
    EXPECT_FALSE(p.getString("a", s));
    EXPECT_FALSE(p.getString("", s)); // nor does a child without a name match
    EXPECT_EQ(s, "untouched");
    EXPECT_FALSE(p.getInt("A", n));
    EXPECT_EQ(n, -1);
    EXPECT_TRUE(p.getInt("N", n));
    EXPECT_EQ(n, 5);

    // Int values read their leading number, saturating at the int range.
    const std::pair<const char*, int> ints[] = {{"12abc", 12},
                                                {"abc", 0},
                                                {" 7", 7},
                                                {"-3x", -3},
                                                {"99999999999", INT_MAX},
                                                {"-99999999999", INT_MIN}};
    for (const auto& [text, expected] : ints) {
        EXPECT_TRUE(parsed(doc(param("N", "int", text))).getInt("N", n));
        EXPECT_EQ(n, expected) << text;
    }
    EXPECT_TRUE(parsed(doc("<Parameter name=\"N\" type=\"int\" />")).getInt("N", n));
    EXPECT_EQ(n, 0);
}

TEST(ParaXml, ListEntriesIgnoreTheirType)
{
    std::list<std::string> list{"untouched"};
    EXPECT_FALSE(CParaXml().getListPara(list));
    EXPECT_FALSE(parsed("<Parameters />").getListPara(list));
    EXPECT_EQ(list.size(), 1u);
    EXPECT_TRUE(parsed(doc(param("N", "int", "1"))).getListPara(list)); // children, but no entries
    EXPECT_TRUE(list.empty());

    CParaXml q =
        parsed("<P><Parameter name=\"listmember\" type=\"int\" value=\"1\" />"
               "<Parameter name=\"listmember\" type=\"string\" />" +
               param("other", "string", "x") + "<Parameter name=\"listmember\" value=\"2\" /></P>");
    EXPECT_TRUE(q.getListPara(list));
    EXPECT_EQ(list, (std::list<std::string>{"1", "2"}));
}

TEST(ParaXml, StudentRecordsRoundTripAndStartEmpty)
{
    std::list<tagStudent_t> in(2);
    in.front() = {"s1", "ann", "host-1", "10.0.0.1", 1001, 1, 4};
    in.back() = {"s2", "bob", "host-2", "10.0.0.2", 1002, 0, -2};
    CParaXml p;
    p.setString("before", "x");
    p.setStudentInfoList(in);
    std::list<tagStudent_t> out(5);
    EXPECT_TRUE(parsed(print(p)).getStudentInfoList(out));
    ASSERT_EQ(out.size(), 2u);
    for (auto a = in.begin(), b = out.begin(); a != in.end(); ++a, ++b) {
        EXPECT_EQ(std::tie(a->studentID, a->username, a->hostname, a->IP),
                  std::tie(b->studentID, b->username, b->hostname, b->IP));
        EXPECT_EQ(std::tie(a->start_time, a->bLocked, a->status),
                  std::tie(b->start_time, b->bLocked, b->status));
    }

    // A record lacking members must not inherit the previous student's
    // values; member types are ignored, records of another type skipped.
    CParaXml q = parsed(doc(
        "<Parameter name=\"list_student_info\" type=\"struct_StudentInfo\" value=\"\">"
        "<Member name=\"studentID\" value=\"s1\" /><Member name=\"username\" value=\"ann\" />"
        "<Member name=\"IP\" value=\"10.0.0.1\" /><Member name=\"bLocked\" type=\"string\" "
        "value=\"1\" />"
        "<Member name=\"status\" value=\"7x\" /><Member name=\"extra\" value=\"?\" /></Parameter>"
        "<Parameter name=\"list_student_info\" type=\"other\"><Member name=\"studentID\" "
        "value=\"no\" /></Parameter>"
        "<Parameter name=\"list_student_info\" type=\"struct_StudentInfo\">"
        "<Member name=\"studentID\" value=\"s2\" /><Member name=\"username\" /><Member "
        "name=\"status\" />"
        "</Parameter>"));
    EXPECT_TRUE(q.getStudentInfoList(out));
    ASSERT_EQ(out.size(), 2u);
    EXPECT_EQ(std::tie(out.front().studentID, out.front().username, out.front().IP),
              std::make_tuple("s1", "ann", "10.0.0.1"));
    EXPECT_EQ(std::tie(out.front().bLocked, out.front().status), std::make_tuple(1, 7));
    const tagStudent_t& b = out.back();
    EXPECT_EQ(std::tie(b.studentID, b.username, b.hostname, b.IP),
              std::make_tuple("s2", "", "", ""));
    EXPECT_EQ(std::tie(b.start_time, b.bLocked, b.status), std::make_tuple(0, 0, 0));
}

TEST(ParaXml, DocumentLifecycle)
{
    // The first element is read and written whatever its name.
    CParaXml p = parsed("<!-- note --><Other>" + param("A", "string", "v") + "</Other>");
    std::string s;
    EXPECT_TRUE(p.getString("A", s));
    p.setInt("N", 2);
    EXPECT_EQ(print(p), "<!-- note --><Other>" + param("A", "string", "v") +
                            param("N", "int", "2") + "</Other>");

    // Loading adds to the document: the first root stays in force.
    p.loadString(doc(param("A", "string", "second") + param("B", "string", "b")));
    EXPECT_TRUE(p.getString("A", s));
    EXPECT_EQ(s, "v");
    EXPECT_FALSE(p.getString("B", s));

    // A text that breaks off keeps what was read before the break.
    EXPECT_TRUE(parsed(kDecl + "<Parameters>" + param("A", "string", "1") + "<Parameter name=")
                    .getString("A", s));
    EXPECT_EQ(s, "1");

    CParaXml copy(p), assigned;
    assigned.setString("Z", "z");
    assigned = p;
    CParaXml& self = assigned;
    assigned = self; // self-assignment keeps the document
    copy.clear();
    EXPECT_EQ(print(copy), "");
    copy.setInt("N", 1); // a fresh declaration and root
    EXPECT_EQ(print(copy), doc(param("N", "int", "1")));
    EXPECT_EQ(print(assigned), print(p));
}

// The printer writes documents straight into the text; TinyXML's printer in
// stream mode is the reference, byte for byte.
TEST(ParaXml, PrintsByteForByteAsTinyXml)
{
    std::string everyByte;
    for (int c = 0; c < 256; ++c)
        everyByte += static_cast<char>(c);
    const std::string values[] = {everyByte, "say \"hi\" & 'bye' <b>", "&#x41; &amp;", "é ü \x7f",
                                  ""};

    CParaXml ours;
    TiXmlDocument reference;
    reference.LinkEndChild(new TiXmlDeclaration("1.0", "", ""));
    auto* root = new TiXmlElement("Parameters");
    reference.LinkEndChild(root);
    for (const std::string& v : values) {
        ours.setString("n<&" + v.substr(0, 3), v);
        auto* e = new TiXmlElement("Parameter");
        e->SetAttribute("name", "n<&" + v.substr(0, 3));
        e->SetAttribute("type", "string");
        e->SetAttribute("value", v);
        root->LinkEndChild(e);
    }
    std::list<tagStudent_t> students(1);
    students.front() = {"s\"1", "a'n", "h\n1", "10.0.0.3", 1003, 1, -3};
    ours.setStudentInfoList(students);

    const auto tinyXml = [](const TiXmlDocument& doc) {
        TiXmlPrinter printer;
        printer.SetStreamPrinting();
        doc.Accept(&printer);
        return std::string(printer.Str());
    };
    std::string expected = tinyXml(reference);
    expected.resize(expected.size() - std::string("</Parameters>").size());
    const std::string printed = print(ours);
    EXPECT_EQ(printed.substr(0, expected.size()), expected);

    // What ours holds after reading it, and documents only a peer sends:
    // text, comments, CDATA, other declarations, unknown markup.
    const std::string peerTexts[] = {
        printed,
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?><a "
        "x='\"'>t&amp;<b/><!--c--></a>",
        "<a><![CDATA[raw <x>]]></a><b>text</b><!DOCTYPE d><c><d><e k=\"v\"/></d></c>",
    };
    for (const std::string& text : peerTexts) {
        TiXmlDocument doc;
        doc.Parse(text.c_str());
        EXPECT_EQ(print(parsed(text)), tinyXml(doc)) << text;
    }
}
