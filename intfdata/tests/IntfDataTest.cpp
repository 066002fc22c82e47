#include "IntfData.h"

#include <gtest/gtest.h>

#include <climits>

using IPCAPI::CIntfData;

namespace {

std::string pad(const std::string& s, std::size_t width)
{
    return s + std::string(width - s.size(), ' ');
}

std::string header(const std::string& message, const std::string& opid, const std::string& student,
                   const std::string& result)
{
    return pad(message, 64) + pad(opid, 10) + pad(student, 64) + pad(result, 10);
}

struct Fields {
    std::string message, student;
    int opid = -1, result = -1;
};

Fields fieldsOf(const CIntfData& e)
{
    Fields f;
    e.GetMessage(f.message);
    e.GetStudentID(f.student);
    e.GetOperationID(f.opid);
    e.GetResult(f.result);
    return f;
}

} // namespace

TEST(IntfData, PrintsTheFixedWidthHeader)
{
    CIntfData e("A", 7, "null");
    std::string text = "old text";
    EXPECT_TRUE(e.toString(text));
    EXPECT_EQ(text, "A" + std::string(63, ' ') + "7" + std::string(9, ' ') + "null" + std::string(60, ' ') + "0" +
                        std::string(9, ' '));
    EXPECT_EQ(text.size(), 148u);

    e.SetResult(-1);
    e.SetOperationID(65535);
    e.SetMessage("TEACHER_SEARCHPROGRAM");
    e.SetStudentID("stu-01");
    e.m_ParaXml.setString("targetFolder", "/usr/bin");
    EXPECT_TRUE(e.toString(text));
    EXPECT_EQ(text, header("TEACHER_SEARCHPROGRAM", "65535", "stu-01", "-1") +
                        "<?xml version=\"1.0\" ?><Parameters><Parameter name=\"targetFolder\" type=\"string\" "
                        "value=\"/usr/bin\" /></Parameters>");
}

TEST(IntfData, ReadsBackWhatItWrote)
{
    // Every value from -999999999 to INT_MAX fits the 10-character columns.
    const std::pair<int, int> values[] = {{0, 0}, {7, 0}, {65535, -1}, {-1, 1}, {INT_MAX, -999999999}, {-999999999, INT_MAX}};
    for (const auto& [id, result] : values) {
        CIntfData e("MSG", id, "null");
        e.SetResult(result);
        e.m_ParaXml.setInt("iReturn", id);
        std::string text;
        ASSERT_TRUE(e.toString(text));
        CIntfData back;
        ASSERT_TRUE(back.load(text));
        const Fields f = fieldsOf(back);
        EXPECT_EQ(f.message, "MSG");
        EXPECT_EQ(f.opid, id);
        EXPECT_EQ(f.student, "null");
        EXPECT_EQ(f.result, result);
        int v = 0;
        EXPECT_TRUE(back.m_ParaXml.getInt("iReturn", v));
        EXPECT_EQ(v, id);
    }
}

TEST(IntfData, HeaderOnlyTextsAndShortTexts)
{
    CIntfData e("KEEP", 3, "s");
    e.SetResult(4);
    const std::string text = header("A", "7", "null", "0");
    EXPECT_FALSE(e.load(text.substr(0, 147)));
    Fields f = fieldsOf(e);
    EXPECT_EQ(f.message, "KEEP");
    EXPECT_EQ(f.opid, 3);
    EXPECT_EQ(f.student, "s");
    EXPECT_EQ(f.result, 4);

    CIntfData fresh;
    EXPECT_TRUE(fresh.load(text));
    f = fieldsOf(fresh);
    EXPECT_EQ(f.message, "A");
    EXPECT_EQ(f.opid, 7);
    EXPECT_EQ(f.student, "null");
    EXPECT_EQ(f.result, 0);
    std::list<std::string> list{"untouched"};
    EXPECT_FALSE(fresh.m_ParaXml.getListPara(list));
    std::string params;
    fresh.m_ParaXml.toString(params);
    EXPECT_EQ(params, "");
}

TEST(IntfData, ReadingFieldRules)
{
    CIntfData e;
    e.SetOperationID(5);
    e.SetResult(6);
    // Leading blanks stay in names, trailing ones go; number fields skip
    // leading blanks, read the leading number and keep the old value when
    // there is none.
    EXPECT_TRUE(e.load(header("  M  ", "  42x", " id ", "abc") + "garbage <"));
    const Fields f = fieldsOf(e);
    EXPECT_EQ(f.message, "  M");
    EXPECT_EQ(f.student, " id");
    EXPECT_EQ(f.opid, 42);
    EXPECT_EQ(f.result, 6);

    // Fields are fixed columns: a number running into the next field is cut.
    CIntfData g;
    EXPECT_TRUE(g.load(pad("X", 64) + "1234567890123" + pad("", 61) + "9999999999"));
    EXPECT_EQ(fieldsOf(g).opid, 1234567890);
    EXPECT_EQ(fieldsOf(g).student, "123");
    EXPECT_EQ(fieldsOf(g).result, INT_MAX);
}

// Fields wider than their columns would shift the rest of the header.
TEST(IntfData, RefusesFieldsWiderThanTheirColumns)
{
    const std::string wide(65, 'm');
    std::string text;
    EXPECT_TRUE(CIntfData(wide.substr(1), 1, wide.substr(1)).toString(text));
    EXPECT_EQ(text.size(), 148u);

    CIntfData longMessage(wide, 1, "null");
    longMessage.m_ParaXml.setString("A", "x");
    text = "old";
    EXPECT_FALSE(longMessage.toString(text));
    EXPECT_EQ(text, "");
    EXPECT_FALSE(CIntfData("M", 1, wide).toString(text));
    EXPECT_EQ(text, "");
    CIntfData minOpid("M", INT_MIN, "null");
    EXPECT_FALSE(minOpid.toString(text)); // "-2147483648" is 11 characters
    CIntfData minResult("M", 1, "null");
    minResult.SetResult(INT_MIN);
    EXPECT_FALSE(minResult.toString(text));
    EXPECT_EQ(text, "");
}

TEST(IntfData, CopiesCarryEverything)
{
    CIntfData e("M", 9, "s1");
    e.SetResult(3);
    e.m_ParaXml.setString("A", "x");
    CIntfData copy(e);
    EXPECT_EQ(fieldsOf(copy).result, 3);
    EXPECT_EQ(fieldsOf(copy).opid, 9);
    std::string a, b;
    e.toString(a);
    copy.toString(b);
    EXPECT_EQ(a, b);

    copy.m_ParaXml.setString("B", "y");
    CIntfData assigned;
    assigned = e;
    std::string c;
    assigned.toString(c);
    EXPECT_EQ(c, a);
    EXPECT_FALSE(e.m_ParaXml.getString("B", b));
}

TEST(IntfData, SecondLoadKeepsTheFirstParameters)
{
    CIntfData first("M", 1, "s");
    first.m_ParaXml.setString("A", "1");
    CIntfData second("N", 2, "t");
    second.m_ParaXml.setString("A", "2");
    second.m_ParaXml.setString("B", "2");
    std::string t1, t2;
    first.toString(t1);
    second.toString(t2);

    CIntfData e;
    EXPECT_TRUE(e.load(t1));
    EXPECT_TRUE(e.load(t2));
    EXPECT_EQ(fieldsOf(e).message, "N");
    std::string v;
    EXPECT_TRUE(e.m_ParaXml.getString("A", v));
    EXPECT_EQ(v, "1");
    EXPECT_FALSE(e.m_ParaXml.getString("B", v));
}
