// Texts from a peer that try to crash, hang or mislead the receiver, and the
// agreement between the XML gate and TinyXML's own reading.
#include "InputLimits.h"
#include "IntfData.h"
#include "XmlGuard.h"
#include "XmlTreeDepth.h"

#include <gtest/gtest.h>

#include <sys/mman.h>
#include <unistd.h>

#include <cstring>
#include <random>
#include <thread>
#include <vector>

using IPCAPI::CIntfData;
using IPCAPI::CParaXml;

namespace {

const std::string kHeader(148, ' ');
const std::string kParams = "<?xml version=\"1.0\" ?><Parameters><Parameter name=\"A\" "
                            "type=\"string\" value=\"1\" /></Parameters>";

std::string repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

struct Built {
    int depth;
    std::size_t nodes;
};

// The tree TinyXML builds from text parsed from a buffer that ends at an
// unreadable page, so a read past the terminating NUL faults.
Built fencedParse(const std::string& text)
{
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t size = std::strlen(text.c_str()) + 1;
    const std::size_t room = (size + page - 1) / page * page;
    char* base = static_cast<char*>(
        mmap(nullptr, room + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    mprotect(base + room, page, PROT_NONE);
    std::memcpy(base + room - size, text.c_str(), size);
    TiXmlDocument doc;
    doc.Parse(base + room - size);
    munmap(base, room + page);
    return {tavtest::XmlTreeDepth(&doc), tavtest::XmlTreeNodes(&doc)};
}

// The printed envelope, and the same with its one parameter value grown so
// that the text is exactly size bytes long.
std::string envelopeOfSize(std::size_t size)
{
    CIntfData e("M", 1, "null");
    e.m_ParaXml.setString("A", "");
    std::string text;
    e.toString(text);
    CIntfData sized("M", 1, "null");
    sized.m_ParaXml.setString("A", std::string(size - text.size(), 'x'));
    sized.toString(text);
    return text;
}

std::string printed(const CIntfData& e)
{
    std::string text;
    e.toString(text);
    return text;
}

} // namespace

// One bus message of nested elements must not overflow the receiving
// thread's stack (default size, as the IPC worker has); nor may markup that
// TinyXML reads as something else hide the nesting from the gate.
TEST(HostileInput, DeepNestingDoesNotParse)
{
    // Deep enough to overflow any stack, small enough to pass the size bound.
    const int n = 150000;
    const std::string deep = repeat("<a>", n);
    const std::string disguised[] = {
        deep,
        "<?x>" + deep + "?>",                          // unknown markup ends at the first '>'
        "<1 '>" + deep + "'>",                         // so does "<" without a name
        repeat("<a>&#x</a>x;", n),                     // a numeric reference swallows the end tag
        "<a>" + repeat("<?xml version='</a>'><a>", n), // so does a declaration's value
        repeat("<a b='&#x'></a>x;'>", n),              // and a reference in an attribute
    };
    for (const std::string& body : disguised) {
        bool found = true;
        std::thread([&] {
            CIntfData e;
            EXPECT_TRUE(e.load(kHeader + body));
            std::string v;
            found = e.m_ParaXml.getString("A", v);
            CIntfData copy(e);
            copy.toString(v);
        }).join();
        EXPECT_FALSE(found);
    }

    // Within the bound a document still reads, and prints the same.
    const int ok = tav_common::kMaxXmlNesting - 1;
    const std::string text = repeat("<a>", ok) +
                             "<Parameter name=\"A\" type=\"string\" value=\"1\" />" +
                             repeat("</a>", ok);
    CParaXml p;
    p.loadString(text);
    std::string printed;
    p.toString(printed);
    EXPECT_EQ(printed, text);
}

TEST(HostileInput, EmbeddedNulsHugeValuesAndOldParserFaults)
{
    // The parser sees up to the first NUL; what follows is ignored.
    CIntfData e;
    EXPECT_TRUE(e.load(kHeader + kParams + std::string(1, '\0') + repeat("<a>", 100000)));
    std::string v;
    EXPECT_TRUE(e.m_ParaXml.getString("A", v));

    const std::string huge(tav_common::kMaxDocumentBytes - 256, 'x');
    CParaXml big, back;
    std::string text;
    big.setString("A", huge);
    big.toString(text);
    back.loadString(text);
    EXPECT_TRUE(back.getString("A", v));
    EXPECT_TRUE(v == huge);

    // Texts that hung or aborted TinyXML 2.6 builds do not parse at all.
    for (const std::string& tail :
         {std::string("<a>\xEF") + '\0' + "x", std::string("<?xml ") + '\0'}) {
        CParaXml p;
        p.loadString(kParams + tail);
        EXPECT_FALSE(p.getString("A", v));
    }
}

// The gate's UTF-8 sequence lengths are TinyXML's.
TEST(HostileInput, LeadByteLengthsMatchTheParser)
{
    for (int b = 0x80; b < 0x100; ++b) {
        const std::string text = std::string("<a b='") + static_cast<char>(b) + "'/>";
        EXPECT_EQ(tav_common::XmlTextIsSafe(text), TiXmlBase::utf8ByteTable[b] == 1) << b;
    }
}

// Random texts from markup fragments: the gate never counts shallower nor
// fewer nodes than the tree TinyXML builds, and TinyXML never reads past an
// admitted text.
TEST(HostileInput, GateNeverUndercountsTheParser)
{
    static const char* const pieces[] = {
        "<a>",       "</a>",
        "<b>",       "</b>",
        "<a/>",      "<a x='1'>",
        "<?xml ",    "<?xml version=",
        "encoding=", "'",
        "\"",        ">",
        "/>",        "/",
        "<!--",      "-->",
        "<![CDATA[", "]]>",
        "<!",        "<?",
        "<1",        "< ",
        "&#x",       "&#",
        "&amp;",     ";",
        "1",         "x",
        "#",         "=",
        " ",         "\r\n",
        "\xC3\xA9",  "\xEF\xBB\xBF",
        "\xC3",      "\xA9",
        "</",        "<a ",
        "b",         "</b",
    };
    std::mt19937 rng(42);
    int admitted = 0;
    for (int i = 0; i < 30000; ++i) {
        std::string text;
        for (int k = 1 + static_cast<int>(rng() % 40); k > 0; --k)
            text += pieces[rng() % (sizeof pieces / sizeof *pieces)];
        if (!tav_common::XmlTextIsSafe(text))
            continue;
        ++admitted;
        const Built built = fencedParse(text);
        ASSERT_LE(built.depth, tav_common::XmlNestingDepth(text.data(), text.size(), 1 << 20))
            << text;
        ASSERT_LE(built.nodes, tav_common::XmlNodeCount(text.data(), text.size(), 1 << 20)) << text;
    }
    EXPECT_GT(admitted, 10000);
}

// A text over the size bound is refused before anything is read: the
// envelope or document keeps what it held. At the bound it still loads.
TEST(HostileInput, OversizedTextsAreRefusedAndChangeNothing)
{
    const std::size_t limit = tav_common::kMaxDocumentBytes;
    const std::string atLimit = envelopeOfSize(limit);
    ASSERT_EQ(atLimit.size(), limit);
    CIntfData fresh;
    EXPECT_TRUE(fresh.load(atLimit));
    std::string v;
    EXPECT_TRUE(fresh.m_ParaXml.getString("A", v));

    CIntfData held("HELD", 5, "S1");
    held.SetResult(3);
    held.m_ParaXml.setString("B", "kept");
    const std::string before = printed(held);
    // One byte over, and the reported flood of repeated empty elements; as
    // envelopes, and as parameter documents (the header is white space).
    for (const std::string& over :
         {envelopeOfSize(limit + 1), kHeader + repeat("<a/>", 33 << 18)}) {
        EXPECT_FALSE(held.load(over));
        EXPECT_EQ(printed(held), before);
        EXPECT_FALSE(held.m_ParaXml.loadString(over));
        EXPECT_EQ(printed(held), before);
    }
    CParaXml doc;
    EXPECT_TRUE(doc.loadString(kHeader + atLimit.substr(148)));
    EXPECT_TRUE(doc.getString("A", v));
}

// The largest messages of the system stay far from both bounds: a search
// answer of 1000 programs and a class list of 200 students.
TEST(HostileInput, LargestLegitimateMessagesLoad)
{
    std::string programs =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><SearchResult><Applications>";
    for (int i = 0; i < 1000; ++i) {
        const std::string n = std::to_string(1000 + i);
        programs += "<Application><Name>Office suite component " + n +
                    " &amp; tools</Name>"
                    "<Path>/usr/share/applications/vendor-office-suite/component-" +
                    n +
                    ".desktop</Path>"
                    "<CustomIcon>/usr/share/icons/hicolor/128x128/apps/component-" +
                    n +
                    ".png</CustomIcon>"
                    "</Application>";
    }
    programs += "</Applications></SearchResult>";
    EXPECT_TRUE(tav_common::XmlTextIsSafe(programs)); // read again by the data library

    std::list<IPCAPI::tagStudent_t> students;
    for (int i = 0; i < 200; ++i) {
        IPCAPI::tagStudent_t s;
        s.studentID = "S" + std::to_string(i) + std::string(60, 'i');
        s.username = "student" + std::to_string(i) + std::string(56, 'u');
        s.hostname = "classroom-netbook-" + std::to_string(i) + std::string(40, 'h');
        s.IP = "192.168.100." + std::to_string(i);
        s.start_time = 1796662520 + i;
        s.bLocked = i % 2;
        s.status = i % 3;
        students.push_back(s);
    }

    CIntfData answer("TEACHER_SEARCHPROGRAMCALLBACK", 65535, "S1");
    answer.m_ParaXml.setInt("iReturn", 0);
    answer.m_ParaXml.setString("programsXML", programs);
    CIntfData list("TEACHER_GETSTUDENTLIST", 65535, "null");
    list.m_ParaXml.setStudentInfoList(students);
    CIntfData answerBack, listBack;
    ASSERT_TRUE(answerBack.load(printed(answer)));
    ASSERT_TRUE(listBack.load(printed(list)));
    EXPECT_EQ(printed(answerBack), printed(answer));
    EXPECT_EQ(printed(listBack), printed(list));
    std::string got;
    EXPECT_TRUE(answerBack.m_ParaXml.getString("programsXML", got));
    EXPECT_EQ(got, programs);
    std::list<IPCAPI::tagStudent_t> gotStudents;
    EXPECT_TRUE(listBack.m_ParaXml.getStudentInfoList(gotStudents));
    ASSERT_EQ(gotStudents.size(), 200u);
    EXPECT_EQ(gotStudents.back().hostname, students.back().hostname);
}
