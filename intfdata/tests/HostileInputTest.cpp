// Texts from a peer that try to crash, hang or mislead the receiver, and the
// agreement between the XML gate and TinyXML's own reading.
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
const std::string kParams =
    "<?xml version=\"1.0\" ?><Parameters><Parameter name=\"A\" type=\"string\" value=\"1\" /></Parameters>";

std::string repeat(const std::string& s, int n)
{
    std::string out;
    for (int i = 0; i < n; ++i)
        out += s;
    return out;
}

// TinyXML's tree depth for text parsed from a buffer that ends at an
// unreadable page, so a read past the terminating NUL faults.
int fencedDepth(const std::string& text)
{
    const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
    const std::size_t size = std::strlen(text.c_str()) + 1;
    const std::size_t room = (size + page - 1) / page * page;
    char* base = static_cast<char*>(mmap(nullptr, room + page, PROT_READ | PROT_WRITE,
                                         MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    mprotect(base + room, page, PROT_NONE);
    std::memcpy(base + room - size, text.c_str(), size);
    TiXmlDocument doc;
    doc.Parse(base + room - size);
    munmap(base, room + page);
    return tavtest::XmlTreeDepth(&doc);
}

} // namespace

// One bus message of nested elements must not overflow the receiving
// thread's stack (default size, as the IPC worker has); nor may markup that
// TinyXML reads as something else hide the nesting from the gate.
TEST(HostileInput, DeepNestingDoesNotParse)
{
    const int n = 1000000;
    const std::string deep = repeat("<a>", n);
    const std::string disguised[] = {
        deep,
        "<?x>" + deep + "?>",                           // unknown markup ends at the first '>'
        "<1 '>" + deep + "'>",                          // so does "<" without a name
        repeat("<a>&#x</a>x;", n),                      // a numeric reference swallows the end tag
        "<a>" + repeat("<?xml version='</a>'><a>", n), // so does a declaration's value
        repeat("<a b='&#x'></a>x;'>", n),               // and a reference in an attribute
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
    const int ok = TavInternal::kMaxXmlNesting - 1;
    const std::string text = repeat("<a>", ok) + "<Parameter name=\"A\" type=\"string\" value=\"1\" />" +
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

    const std::string huge(8 << 20, 'x');
    CParaXml big, back;
    std::string text;
    big.setString("A", huge);
    big.toString(text);
    back.loadString(text);
    EXPECT_TRUE(back.getString("A", v));
    EXPECT_TRUE(v == huge);

    // Texts that hung or aborted TinyXML 2.6 builds do not parse at all.
    for (const std::string& tail : {std::string("<a>\xEF") + '\0' + "x", std::string("<?xml ") + '\0'}) {
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
        EXPECT_EQ(TavInternal::XmlTextIsSafe(text), TiXmlBase::utf8ByteTable[b] == 1) << b;
    }
}

// Random texts from markup fragments: the gate never counts shallower than
// the tree TinyXML builds, and TinyXML never reads past an admitted text.
TEST(HostileInput, GateNeverUndercountsTheParser)
{
    static const char* const pieces[] = {
        "<a>", "</a>", "<b>", "</b>", "<a/>", "<a x='1'>", "<?xml ", "<?xml version=", "encoding=", "'", "\"",
        ">", "/>", "/", "<!--", "-->", "<![CDATA[", "]]>", "<!", "<?", "<1", "< ", "&#x", "&#", "&amp;", ";",
        "1", "x", "#", "=", " ", "\r\n", "\xC3\xA9", "\xEF\xBB\xBF", "\xC3", "\xA9", "</", "<a ", "b", "</b",
    };
    std::mt19937 rng(42);
    int admitted = 0;
    for (int i = 0; i < 30000; ++i) {
        std::string text;
        for (int k = 1 + static_cast<int>(rng() % 40); k > 0; --k)
            text += pieces[rng() % (sizeof pieces / sizeof *pieces)];
        if (!TavInternal::XmlTextIsSafe(text))
            continue;
        ++admitted;
        ASSERT_LE(fencedDepth(text), TavInternal::XmlNestingDepth(text.data(), text.size(), 1 << 20)) << text;
    }
    EXPECT_GT(admitted, 10000);
}
