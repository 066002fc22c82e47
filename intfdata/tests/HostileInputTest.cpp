// Texts from a peer that try to crash, hang or mislead the receiver, and the
// agreement between the nesting gate and TinyXML's own reading.
#include "IntfData.h"
#include "XmlGuard.h"

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

const std::string kHeader = std::string(64, ' ') + std::string(10, ' ') + std::string(64, ' ') + std::string(10, ' ');
const std::string kParams = "<?xml version=\"1.0\" ?><Parameters><Parameter name=\"A\" type=\"string\" value=\"1\" />"
                            "</Parameters>";

std::string repeat(const std::string& s, int n)
{
    std::string out;
    out.reserve(s.size() * static_cast<std::size_t>(n));
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

// Deepest element nesting of a parsed tree, walked without recursion.
int treeDepth(const TiXmlNode* top)
{
    int deepest = 0;
    std::vector<std::pair<const TiXmlNode*, int>> todo{{top, 0}};
    while (!todo.empty()) {
        auto [node, depth] = todo.back();
        todo.pop_back();
        for (const TiXmlNode* c = node->FirstChild(); c; c = c->NextSibling()) {
            const int d = c->ToElement() && c->FirstChild() ? depth + 1 : depth;
            deepest = std::max(deepest, d);
            todo.push_back({c, d});
        }
    }
    return deepest;
}

// Parses text with TinyXML from a buffer that ends at an unreadable page,
// so a read past the terminating NUL faults.
class FencedParse {
public:
    FencedParse() : m_page(static_cast<std::size_t>(sysconf(_SC_PAGESIZE))) {}

    int depthOf(const std::string& text)
    {
        const std::size_t visible = std::strlen(text.c_str());
        const std::size_t pages = (visible + 1 + m_page - 1) / m_page + 1;
        void* map = mmap(nullptr, pages * m_page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        EXPECT_NE(map, MAP_FAILED);
        if (map == MAP_FAILED)
            return -1;
        char* base = static_cast<char*>(map);
        mprotect(base + (pages - 1) * m_page, m_page, PROT_NONE);
        char* start = base + (pages - 1) * m_page - (visible + 1);
        std::memcpy(start, text.c_str(), visible + 1);
        TiXmlDocument doc;
        doc.Parse(start);
        const int depth = treeDepth(&doc);
        munmap(map, pages * m_page);
        return depth;
    }

private:
    std::size_t m_page;
};

// Runs fn on a thread with the default stack size, as the IPC worker has.
template <typename Fn>
void onWorkerThread(Fn fn)
{
    std::thread(fn).join();
}

} // namespace

// One bus message of nested elements must not overflow the receiver's stack;
// nor may markup TinyXML reads as something else hide the nesting.
TEST(HostileInput, DeepNestingDoesNotParse)
{
    const int n = 1000000;
    const std::string deep = repeat("<a>", n);
    const std::string disguised[] = {
        deep,
        repeat("<Parameters>", n) + repeat("</Parameters>", n),
        "<?x>" + deep + "?>",                     // unknown markup ends at the first '>'
        "<1 '>" + deep + "'>",                    // so does "<" without a name
        repeat("<a>&#x</a>x;", n),                // a numeric reference swallows the end tag
        "<a>" + repeat("<?xml version='</a>'><a>", n), // so does a declaration's value
        repeat("<a b='&#x'></a>x;'>", n),         // and an attribute's reference
    };
    for (const std::string& body : disguised) {
        bool found = true, listed = true;
        onWorkerThread([&] {
            CIntfData e;
            EXPECT_TRUE(e.load(kHeader + body));
            std::string v;
            std::list<std::string> list;
            found = e.m_ParaXml.getString("A", v);
            listed = e.m_ParaXml.getListPara(list);
            CIntfData copy(e);
            std::string text;
            copy.toString(text);
        });
        EXPECT_FALSE(found);
        EXPECT_FALSE(listed);
        EXPECT_FALSE(TavInternal::XmlTextIsSafe(body)) << body.substr(0, 40);
    }

    // Within the bound a document still reads.
    std::string ok = repeat("<a>", TavInternal::kMaxXmlNesting - 1) +
                     "<Parameter name=\"A\" type=\"string\" value=\"1\" />" +
                     repeat("</a>", TavInternal::kMaxXmlNesting - 1);
    CParaXml p;
    p.loadString(ok);
    std::string printed;
    p.toString(printed);
    EXPECT_EQ(printed, ok);
}

TEST(HostileInput, GarbageEmbeddedNulsAndHugeValues)
{
    std::mt19937 rng(7);
    for (int i = 0; i < 2000; ++i) {
        std::string text(static_cast<std::size_t>(rng() % 600), '\0');
        for (char& c : text)
            c = static_cast<char>(rng());
        CIntfData e;
        e.load(text);
        std::string s;
        int n;
        std::list<std::string> l;
        std::list<IPCAPI::tagStudent_t> st;
        e.m_ParaXml.getString("A", s);
        e.m_ParaXml.getInt("A", n);
        e.m_ParaXml.getListPara(l);
        e.m_ParaXml.getStudentInfoList(st);
        e.toString(s);
    }

    // The parser sees up to the first NUL; what follows is ignored.
    CIntfData e;
    EXPECT_TRUE(e.load(kHeader + kParams + std::string(1, '\0') + repeat("<a>", 100000)));
    std::string v;
    EXPECT_TRUE(e.m_ParaXml.getString("A", v));
    EXPECT_EQ(v, "1");

    const std::string huge(8 << 20, 'x');
    CParaXml big;
    big.setString("A", huge);
    std::string text;
    big.toString(text);
    CParaXml back;
    back.loadString(text);
    EXPECT_TRUE(back.getString("A", v));
    EXPECT_EQ(v, huge);
}

// Inputs that hung or aborted TinyXML 2.6 builds, and their relatives, do
// not parse; the same text without the fault does.
TEST(HostileInput, HistoricParserFaultsAreRefused)
{
    const std::string nul(1, '\0');
    const struct {
        std::string bad, good;
    } cases[] = {
        // 0xEF then the end of the text: an endless loop locating an error.
        {kParams + "<a>\xEF" + nul + "x", kParams + "<a>\xEF\xBB\xBF" + nul},
        {"<a>\xEF\xBB", "<a>\xEF\xBB\xBF"},
        // A cut-off sequence before the end: reads past the text.
        {"<a>\xF0\x9F", "<a>\xF0\x9F\x98\x80"},
        // A lead byte that would step over markup.
        {"<a b='\xC3'/>", "<a b='\xC3\xA9'/>"},
        // A declaration that ends in white space: an assertion.
        {"<?xml " + nul + "<a/>", "<?xml" + nul},
        {"<?xml version='1.0'\t\n", "<?xml version='1.0'"},
        {"<a><?xml ", "<a><?xml"},
        // Read differently by encoding or locale.
        {"<?xml \xEF\xBB\xBFversion='>'?><a>", "\xEF\xBB\xBF<?xml version='>'?><a>"},
        {"<?xml VERSION='1.0'?><a/>", "<?xml version='1.0'?><a/>"},
    };
    for (const auto& c : cases) {
        EXPECT_FALSE(TavInternal::XmlTextIsSafe(c.bad)) << c.bad;
        EXPECT_TRUE(TavInternal::XmlTextIsSafe(c.good)) << c.good;
    }
    CParaXml p;
    p.loadString(kParams + "\xEF" + nul);
    std::string v;
    EXPECT_FALSE(p.getString("A", v));
}

// The gate's sequence lengths are TinyXML's.
TEST(HostileInput, LeadByteLengthsMatchTheParser)
{
    for (int b = 0x80; b < 0x100; ++b) {
        const std::string text = std::string("<a b='") + static_cast<char>(b) + "'/>";
        EXPECT_EQ(TavInternal::XmlTextIsSafe(text), TiXmlBase::utf8ByteTable[b] == 1) << b;
    }
}

// A start tag with very many attributes takes the parser quadratic time.
TEST(HostileInput, ManyAttributesDoNotParse)
{
    std::string tag = "<Parameters><Parameter";
    for (int i = 0; i < TavInternal::kMaxXmlAttributes; ++i)
        tag += " a" + std::to_string(i) + "=''";
    EXPECT_TRUE(TavInternal::XmlTextIsSafe(tag + " /></Parameters>"));
    EXPECT_FALSE(TavInternal::XmlTextIsSafe(tag + " z='' /></Parameters>"));
}

// Random texts from markup fragments: the gate never counts shallower than
// the tree TinyXML builds, and TinyXML never reads past an admitted text.
TEST(HostileInput, GateNeverUndercountsTheParser)
{
    static const char* const pieces[] = {
        "<a>", "</a>", "<b>", "</b>", "<a/>", "<a x='1'>", "<?xml ", "<?xml version=", "encoding=", "'", "\"",
        ">", "/>", "/", "<!--", "-->", "<![CDATA[", "]]>", "<!", "<?", "<1", "< ", "&#x", "&#", "&amp;", ";",
        "1", "x", "#", "=", " ", "\t", "\xC3\xA9", "\xEF\xBB\xBF", "\xC3", "\xA9", "</", "<a ", "b", "</b",
    };
    std::mt19937 rng(42);
    FencedParse fence;
    int admitted = 0;
    for (int i = 0; i < 30000; ++i) {
        std::string text;
        const int count = 1 + static_cast<int>(rng() % 40);
        for (int k = 0; k < count; ++k)
            text += pieces[rng() % (sizeof pieces / sizeof *pieces)];
        if (!TavInternal::XmlTextIsSafe(text))
            continue;
        ++admitted;
        const int gate = TavInternal::XmlNestingDepth(text.data(), text.size(), 1 << 20);
        ASSERT_LE(fence.depthOf(text), gate) << text;
    }
    EXPECT_GT(admitted, 10000);
}
