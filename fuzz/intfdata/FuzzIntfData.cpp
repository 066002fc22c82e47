// Feeds arbitrary text to CIntfData::load and then every getter, and checks:
//  - load takes exactly the texts from the header's length up to the size
//    bound, and a loaded envelope prints and reads back to the same header
//    fields (a printed text past the bound is refused, as any other);
//  - the XML gate never measures less nesting nor fewer nodes than the tree
//    TinyXML builds, and TinyXML never reads past the end of a text the
//    gate admits (the text is parsed again from a buffer that ends at an
//    unreadable page);
//  - a value made of the input bytes (when valid UTF-8) survives printing
//    and reading back, as a string, a list entry and a student field.
#include "InputLimits.h"
#include "IntfData.h"
#include "XmlGuard.h"
#include "XmlTreeDepth.h"

#include <sys/mman.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

using IPCAPI::CIntfData;
using IPCAPI::CParaXml;
using IPCAPI::tagStudent_t;

namespace {

void check(bool ok, const char* what)
{
    if (!ok) {
        std::fprintf(stderr, "fuzz_intfdata: %s\n", what);
        std::abort();
    }
}

// A buffer whose last byte sits just before a PROT_NONE page.
class Fence {
public:
    static constexpr std::size_t kRoom = 1 << 20;

    Fence()
    {
        const std::size_t page = static_cast<std::size_t>(sysconf(_SC_PAGESIZE));
        void* map =
            mmap(nullptr, kRoom + page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
        check(map != MAP_FAILED, "mmap");
        m_end = static_cast<char*>(map) + kRoom;
        check(mprotect(m_end, page, PROT_NONE) == 0, "mprotect");
    }

    // text up to its first NUL, placed so that its terminating NUL is the
    // last readable byte.
    const char* place(const std::string& text)
    {
        const std::size_t n = std::strlen(text.c_str());
        char* start = m_end - (n + 1);
        std::memcpy(start, text.c_str(), n + 1);
        return start;
    }

private:
    char* m_end;
};

void checkGate(const std::string& xml)
{
    static Fence fence;
    if (!tav_common::XmlTextIsSafe(xml) || std::strlen(xml.c_str()) >= Fence::kRoom)
        return;
    TiXmlDocument doc;
    doc.Parse(fence.place(xml));
    check(tavtest::XmlTreeDepth(&doc) <=
              tav_common::XmlNestingDepth(xml.data(), xml.size(), 1 << 30),
          "gate counted less nesting than the parser built");
    check(tavtest::XmlTreeNodes(&doc) <= tav_common::XmlNodeCount(xml.data(), xml.size(), 1 << 30),
          "gate counted fewer nodes than the parser built");
}

void readEverything(CIntfData& e)
{
    static const char* const names[] = {"A",           "targetFolder", "iReturn",
                                        "programsXML", "listmember",   ""};
    std::string s;
    int n = 0;
    for (const char* name : names) {
        e.m_ParaXml.getString(name, s);
        e.m_ParaXml.getInt(name, n);
    }
    std::list<std::string> list;
    e.m_ParaXml.getListPara(list);
    std::list<tagStudent_t> students;
    e.m_ParaXml.getStudentInfoList(students);
    e.m_ParaXml.toString(s);
}

// Loads a printed envelope into back: false when printing escapes grew it
// past the size bound, which load must then refuse.
bool loadBack(const std::string& text, CIntfData& back)
{
    if (text.size() > tav_common::kMaxDocumentBytes) {
        check(!back.load(text), "an envelope past the size bound loaded");
        return false;
    }
    check(back.load(text), "a printed envelope does not load");
    return true;
}

void checkHeaderRoundTrip(const CIntfData& e)
{
    std::string text;
    check(e.toString(text), "a loaded envelope does not print");
    CIntfData back;
    if (!loadBack(text, back))
        return;
    std::string m1, m2, s1, s2;
    int o1 = 0, o2 = 0, r1 = 0, r2 = 0;
    e.GetMessage(m1);
    back.GetMessage(m2);
    e.GetStudentID(s1);
    back.GetStudentID(s2);
    e.GetOperationID(o1);
    back.GetOperationID(o2);
    e.GetResult(r1);
    back.GetResult(r2);
    check(m1 == m2 && s1 == s2 && o1 == o2 && r1 == r2, "header fields changed on a round trip");
}

bool validUtf8(const std::string& s)
{
    for (std::size_t i = 0; i < s.size();) {
        const unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t len = c < 0x80         ? 1
                          : (c >> 5) == 6  ? 2
                          : (c >> 4) == 14 ? 3
                          : (c >> 3) == 30 ? 4
                                           : 0;
        if (!len || i + len > s.size() || (len == 2 && c < 0xC2) || c > 0xF4)
            return false;
        for (std::size_t k = 1; k < len; ++k)
            if ((static_cast<unsigned char>(s[i + k]) & 0xC0) != 0x80)
                return false;
        const unsigned char d = len > 1 ? static_cast<unsigned char>(s[i + 1]) : 0;
        if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) || (c == 0xF0 && d < 0x90) ||
            (c == 0xF4 && d > 0x8F))
            return false;
        i += len;
    }
    return true;
}

void checkValueRoundTrip(const std::string& value)
{
    if (!validUtf8(value))
        return;
    CIntfData e("M", 1, "null");
    e.m_ParaXml.setString("k", value);
    std::list<std::string> entries{value};
    e.m_ParaXml.setListPara(entries);
    tagStudent_t st;
    st.hostname = value;
    std::list<tagStudent_t> students{st};
    e.m_ParaXml.setStudentInfoList(students);
    std::string text;
    check(e.toString(text), "an envelope does not print");
    CIntfData back;
    if (!loadBack(text, back))
        return;
    std::string got;
    check(back.m_ParaXml.getString("k", got) && got == value,
          "a string value changed on a round trip");
    entries.clear();
    check(back.m_ParaXml.getListPara(entries) && entries.size() == 1 && entries.front() == value,
          "a list entry changed on a round trip");
    students.clear();
    check(back.m_ParaXml.getStudentInfoList(students) && students.size() == 1 &&
              students.front().hostname == value,
          "a student field changed on a round trip");
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string text(reinterpret_cast<const char*>(data), size);
    CIntfData e;
    const bool loaded = e.load(text);
    check(loaded == (size >= 148 && size <= tav_common::kMaxDocumentBytes),
          "load refused a text within the bounds or took one outside them");
    readEverything(e);
    CIntfData copy(e);
    readEverything(copy);
    if (loaded)
        checkHeaderRoundTrip(e);

    checkGate(size >= 148 ? text.substr(148) : text);
    checkValueRoundTrip(text);
    return 0;
}
