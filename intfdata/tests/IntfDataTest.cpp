#include "IntfData.h"

#include <gtest/gtest.h>

#include <climits>
#include <tuple>

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

// message, operation id, student id, result
std::tuple<std::string, int, std::string, int> fields(const CIntfData& e)
{
    std::tuple<std::string, int, std::string, int> f;
    e.GetMessage(std::get<0>(f));
    e.GetOperationID(std::get<1>(f));
    e.GetStudentID(std::get<2>(f));
    e.GetResult(std::get<3>(f));
    return f;
}

} // namespace

TEST(IntfData, PrintsTheFixedWidthHeader)
{
    CIntfData e("A", 7, "null");
    std::string text = "old text";
    EXPECT_TRUE(e.toString(text));
    EXPECT_EQ(text, "A" + std::string(63, ' ') + "7" + std::string(9, ' ') + "null" +
                        std::string(60, ' ') + "0" + std::string(9, ' '));

    e.SetMessage("TEACHER_SEARCHPROGRAM");
    e.SetOperationID(65535);
    e.SetStudentID("stu-01");
    e.SetResult(-1);
    e.m_ParaXml.setString("targetFolder", "/usr/bin");
    EXPECT_TRUE(e.toString(text));
    EXPECT_EQ(
        text,
        header("TEACHER_SEARCHPROGRAM", "65535", "stu-01", "-1") +
            "<?xml version=\"1.0\" ?><Parameters><Parameter name=\"targetFolder\" type=\"string\" "
            "value=\"/usr/bin\" /></Parameters>");
}

TEST(IntfData, ReadsBackWhatItWrote)
{
    // Every value from -999999999 to INT_MAX fits the 10-character columns.
    const std::pair<int, int> values[] = {
        {0, 0}, {65535, -1}, {INT_MAX, -999999999}, {-999999999, INT_MAX}};
    for (const auto& [id, result] : values) {
        CIntfData e("MSG", id, "null");
        e.SetResult(result);
        e.m_ParaXml.setInt("iReturn", id);
        std::string text;
        ASSERT_TRUE(e.toString(text));
        CIntfData back;
        ASSERT_TRUE(back.load(text));
        EXPECT_EQ(fields(back), std::make_tuple("MSG", id, "null", result));
        int v = 0;
        EXPECT_TRUE(back.m_ParaXml.getInt("iReturn", v));
        EXPECT_EQ(v, id);
    }
}

TEST(IntfData, ReadingRules)
{
    CIntfData e("KEEP", 3, "s");
    e.SetResult(4);
    EXPECT_FALSE(e.load(header("A", "7", "null", "0").substr(0, 147)));
    EXPECT_EQ(fields(e), std::make_tuple("KEEP", 3, "s", 4));

    // Leading blanks stay in names, trailing ones go; number fields skip
    // leading blanks, read the leading number and keep the old value when
    // there is none. A broken parameter section still loads.
    EXPECT_TRUE(e.load(header("  M  ", "  42x", " id ", "abc") + "garbage <"));
    EXPECT_EQ(fields(e), std::make_tuple("  M", 42, " id", 4));

    // Fields are fixed columns: a number running into the next field is cut.
    // Exactly 148 characters read, with no parameters.
    CIntfData g;
    EXPECT_TRUE(g.load(pad("X", 64) + "1234567890123" + pad("", 61) + "9999999999"));
    EXPECT_EQ(fields(g), std::make_tuple("X", 1234567890, "123", INT_MAX));
    std::list<std::string> list{"untouched"};
    EXPECT_FALSE(g.m_ParaXml.getListPara(list));
}

// Fields wider than their columns would shift the rest of the header.
TEST(IntfData, RefusesFieldsWiderThanTheirColumns)
{
    const std::string wide(65, 'm');
    std::string text;
    EXPECT_TRUE(CIntfData(wide.substr(1), 1, wide.substr(1)).toString(text));
    EXPECT_EQ(text.size(), 148u);

    CIntfData minResult("M", 1, "null");
    minResult.SetResult(INT_MIN); // "-2147483648" is 11 characters
    for (const CIntfData& e : {CIntfData(wide, 1, "null"), CIntfData("M", 1, wide),
                               CIntfData("M", INT_MIN, "null"), minResult}) {
        text = "old";
        EXPECT_FALSE(e.toString(text));
        EXPECT_EQ(text, "");
    }
}

TEST(IntfData, CopiesAndSecondLoads)
{
    CIntfData e("M", 9, "s1");
    e.SetResult(3);
    e.m_ParaXml.setString("A", "1");
    CIntfData copy(e), assigned;
    assigned = e;
    copy.m_ParaXml.setString("B", "2");
    std::string a, b, c, v;
    e.toString(a);
    assigned.toString(b);
    EXPECT_EQ(fields(copy), fields(e));
    EXPECT_EQ(a, b);
    EXPECT_FALSE(e.m_ParaXml.getString("B", v));

    // Loading a second text leaves the first parameters in force.
    CIntfData twice;
    twice.load(a);
    copy.SetMessage("N");
    copy.toString(c);
    twice.load(c);
    EXPECT_EQ(std::get<0>(fields(twice)), "N");
    EXPECT_FALSE(twice.m_ParaXml.getString("B", v));
}
