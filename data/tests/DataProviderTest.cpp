#include "TAVDataProvider.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstring>

#include <thread>

using LibTAVData::CTAVDataProvider;
using LibTAVData::Rsa;

namespace {

// Records what the base hands to the derived class.
class Probe : public CTAVDataProvider {
public:
    int dom2MemberResult = 0;
    int member2DomResult = 0;
    int dom2MemberCalls = 0;
    std::string rootName;

    int DOM2Member() override
    {
        ++dom2MemberCalls;
        TiXmlElement* root = m_pDocument->RootElement();
        rootName = root ? root->ValueStr() : "";
        return dom2MemberResult;
    }
    int Member2DOM() override
    {
        m_pDocument->LinkEndChild(new TiXmlDeclaration("1.0", "UTF-8", ""));
        TiXmlElement* root = new TiXmlElement("Root");
        TiXmlElement* child = new TiXmlElement("Child");
        child->SetAttribute("a", "1");
        root->LinkEndChild(child);
        m_pDocument->LinkEndChild(root);
        return member2DomResult;
    }
    const std::string& path() const { return m_strFilePath; }
};

std::string nested(int depth)
{
    std::string s;
    for (int i = 0; i < depth; ++i)
        s += "<a>";
    for (int i = 0; i < depth; ++i)
        s += "</a>";
    return s;
}

} // namespace

TEST(DataProvider, BaseObjectSavesAnEmptyText)
{
    CTAVDataProvider base;
    std::string out = "old";
    EXPECT_EQ(base.Save2String(out), 0);
    EXPECT_EQ(out, "");
}

TEST(DataProvider, LoadFailuresDoNotReachTheDerivedClass)
{
    Probe p;
    EXPECT_EQ(p.LoadFromFile(tavtest::TempRoot() + "/missing.xml"), -1);
    EXPECT_EQ(p.path(), tavtest::TempRoot() + "/missing.xml");
    EXPECT_EQ(p.LoadFromString(""), -1);
    EXPECT_EQ(p.LoadFromString("<a><b></a>"), -1);
    EXPECT_EQ(p.dom2MemberCalls, 0);
}

TEST(DataProvider, FoldersAndFifosAreNotFiles)
{
    Probe p;
    EXPECT_EQ(p.LoadFromFile(tavtest::TempRoot()), -1);
    const std::string fifo = tavtest::TempRoot() + "/fifo.xml";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(p.LoadFromFile(fifo), -1); // no writer: must not block
    EXPECT_EQ(p.dom2MemberCalls, 0);
}

TEST(DataProvider, DerivedResultsPassThrough)
{
    Probe p;
    p.dom2MemberResult = 7;
    EXPECT_EQ(p.LoadFromString("<Top/>"), 7);
    EXPECT_EQ(p.rootName, "Top");
    p.member2DomResult = -3;
    std::string out = "kept";
    EXPECT_EQ(p.Save2String(out), -3);
    EXPECT_EQ(out, "kept");
    EXPECT_EQ(p.Save2File(tavtest::TempRoot() + "/never.xml"), -3);
    EXPECT_FALSE(tavtest::FileExists(tavtest::TempRoot() + "/never.xml"));
}

TEST(DataProvider, SavedTextsAndFiles)
{
    Probe p;
    std::string out;
    ASSERT_EQ(p.Save2String(out), 0);
    const std::string expected =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" ?>\n<Root>\n    <Child a=\"1\" />\n</Root>\n";
    EXPECT_EQ(out, expected);
    const std::string file = tavtest::TempRoot() + "/saved.xml";
    ASSERT_EQ(p.Save2File(file), 0);
    EXPECT_EQ(tavtest::ReadFile(file), expected);
    EXPECT_EQ(p.LoadFromFile(file), 0);
    EXPECT_EQ(p.rootName, "Root");
    EXPECT_EQ(p.Save2File(tavtest::TempRoot() + "/no/such/folder.xml"), -1);
}

// White space inside text survives a load: condensing is switched off.
TEST(DataProvider, WhiteSpaceIsKept)
{
    struct Text : CTAVDataProvider {
        std::string text;
        int DOM2Member() override
        {
            text = m_pDocument->RootElement()->GetText();
            return 0;
        }
    } t;
    ASSERT_EQ(t.LoadFromString("<a>x   y\n z</a>"), 0);
    EXPECT_EQ(t.text, "x   y\n z");
}

// Files read as TinyXML's own loader reads them: CR LF and a lone CR are LF.
TEST(DataProvider, FileLineEndsAreNormalised)
{
    struct Text : CTAVDataProvider {
        std::string text;
        int DOM2Member() override
        {
            text = m_pDocument->RootElement()->GetText();
            return 0;
        }
    } t;
    const std::string file = tavtest::TempRoot() + "/crlf.xml";
    ASSERT_TRUE(tavtest::WriteFile(file, "<a>x\r\ny\rz\n\r\n</a>\r\n"));
    ASSERT_EQ(t.LoadFromFile(file), 0);
    EXPECT_EQ(t.text, "x\ny\nz\n\n");
    ASSERT_EQ(t.LoadFromString("<a>x\r\ny</a>"), 0);
    EXPECT_EQ(t.text, "x\r\ny");
}

// A text ending inside a multi-byte UTF-8 sequence: TinyXML steps over the
// whole announced sequence, which must not take it past the text's end into
// whatever the caller's buffer holds behind it.
TEST(DataProvider, CutUtf8SequenceAtTheEnd)
{
    Probe p;
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\" ?><a b=\"1\xe5";
    const std::size_t length = text.size();
    // Behind the end, in the same buffer: bytes that would complete the
    // element if the parser read them.
    text += std::string("\0?\"/>", 5);
    text.resize(length);
    EXPECT_EQ(p.LoadFromString(text), -1);
    EXPECT_EQ(p.dom2MemberCalls, 0);

    const std::string file = tavtest::TempRoot() + "/cut.xml";
    for (const char* tail : {"<a b=\"1\xe5", "<a b=\"1\xf0", "<a>\xe5", "<a\xe5"}) {
        ASSERT_TRUE(tavtest::WriteFile(
            file, std::string("<?xml version=\"1.0\" encoding=\"UTF-8\" ?>") + tail));
        EXPECT_EQ(p.LoadFromFile(file), -1) << tail;
    }
    EXPECT_EQ(p.dom2MemberCalls, 0);
}

// A peer's deeply nested text must not overflow the parser's stack; run on a
// thread with a default-sized stack, as the IPC worker is.
TEST(DataProvider, DeepNestingDoesNotParse)
{
    int shallow = 1, deep = 1, deepFile = 1;
    std::thread([&] {
        Probe p;
        shallow = p.LoadFromString(nested(200));
        deep = p.LoadFromString(nested(1000000));
        const std::string file = tavtest::TempRoot() + "/deep.xml";
        tavtest::WriteFile(file, nested(1000000));
        deepFile = p.LoadFromFile(file);
    }).join();
    EXPECT_EQ(shallow, 0);
    EXPECT_EQ(deep, -1);
    EXPECT_EQ(deepFile, -1);
}

TEST(DataProvider, Conversions)
{
    CTAVDataProvider p;
    int v = -1;
    std::string t = "42";
    EXPECT_TRUE(p.ConvertString2Int(t, v));
    EXPECT_EQ(v, 42);
    t = "abc";
    EXPECT_FALSE(p.ConvertString2Int(t, v));
    EXPECT_EQ(v, 0);
    t = " 7x";
    EXPECT_TRUE(p.ConvertString2Int(t, v));
    EXPECT_EQ(v, 7);
    t = "-12";
    EXPECT_TRUE(p.ConvertString2Int(t, v));
    EXPECT_EQ(v, -12);
    EXPECT_TRUE(p.ConvertInt2String(-5, t));
    EXPECT_EQ(t, "-5");
}

TEST(DataProvider, EncipherInMemoryAndBack)
{
    CTAVDataProvider p;
    std::string text = "hello";
    ASSERT_EQ(p.Enciphering(text), 0);
    ASSERT_EQ(text.size(), 8u);
    EXPECT_NE(text.substr(0, 4), "hell");
    // Blocks are independent: equal plain blocks give equal cipher blocks.
    std::string twice = "abcdabcd";
    ASSERT_EQ(p.Enciphering(twice), 0);
    EXPECT_EQ(twice.substr(0, 4), twice.substr(4, 4));
    ASSERT_EQ(p.Deciphering(text), 0);
    EXPECT_EQ(text, "hello   ");
}

TEST(DataProvider, EncipherToFileAndBack)
{
    CTAVDataProvider p;
    const std::string file = tavtest::TempRoot() + "/cipher.bin";
    std::string text = "The quick brown fox";
    ASSERT_EQ(p.Enciphering(text, file), 0);
    EXPECT_EQ(text, "The quick brown fox ");
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 20);
    EXPECT_NE(tavtest::ReadFile(file).substr(0, 4), "The ");
    std::string back;
    ASSERT_EQ(p.Deciphering(back, file), 0);
    EXPECT_EQ(back, text);

    EXPECT_EQ(p.Deciphering(back, tavtest::TempRoot() + "/missing.bin"), -1);
    EXPECT_EQ(back, text);
    EXPECT_EQ(p.Enciphering(text, tavtest::TempRoot() + "/no/such/dir.bin"), -1);
}

TEST(DataProvider, ShortFileDeciphersToWholeBlocks)
{
    CTAVDataProvider p;
    const std::string file = tavtest::TempRoot() + "/six.bin";
    tavtest::WriteFile(file, std::string("\x01\x02\x03\x04\x05\x06", 6));
    std::string out;
    ASSERT_EQ(p.Deciphering(out, file), 0);
    EXPECT_EQ(out.size(), 8u);
    unsigned char last[4] = {0x05, 0x06, 0x00, 0x00};
    Rsa::Deciphering(last, 4);
    EXPECT_EQ(out.substr(4), std::string(reinterpret_cast<char*>(last), 4));
}

// A block at or above the modulus cannot be enciphered: that is reported,
// never turned silently into "0000".
TEST(DataProvider, UnencipherableBlockIsAFailure)
{
    unsigned char block[4] = {0xFF, 0xFF, 0xFF, 0xFF};
    EXPECT_FALSE(Rsa::Enciphering(block, 4));
    EXPECT_EQ(std::string(reinterpret_cast<char*>(block), 4), "0000");

    CTAVDataProvider p;
    const std::string original = "ok..\xFF\xFF\xFF\xFF";
    std::string text = original;
    EXPECT_EQ(p.Enciphering(text), -1);
    EXPECT_EQ(text, original);

    const std::string file = tavtest::TempRoot() + "/bad.bin";
    tavtest::WriteFile(file, "previous content");
    text = original;
    EXPECT_EQ(p.Enciphering(text, file), -1);
    EXPECT_EQ(tavtest::ReadFile(file), "previous content");
    EXPECT_EQ(p.Enciphering(text, tavtest::TempRoot() + "/new.bin"), -1);
    EXPECT_FALSE(tavtest::FileExists(tavtest::TempRoot() + "/new.bin"));
}

// Every 7-bit block enciphers and deciphers back.
TEST(DataProvider, EveryAsciiBlockRoundTrips)
{
    for (unsigned first = 0; first < 0x80; first += 5) {
        for (unsigned rest : {0x00u, 0x41u, 0x7Fu, 0xFFu}) {
            unsigned char block[4] = {static_cast<unsigned char>(first),
                                      static_cast<unsigned char>(rest),
                                      static_cast<unsigned char>(rest ^ 0x5A), 0x20};
            unsigned char copy[4];
            std::memcpy(copy, block, 4);
            ASSERT_TRUE(Rsa::Enciphering(block, 4));
            ASSERT_TRUE(Rsa::Deciphering(block, 4));
            EXPECT_EQ(std::memcmp(block, copy, 4), 0) << first << " " << rest;
        }
    }
}

// A save that cannot be completed is a failure, and never costs the file
// that was there before.
TEST(DataProvider, SavesAreCompleteOrNothing)
{
    Probe p;
    EXPECT_EQ(p.Save2File("/dev/full"), -1);

    const std::string dir = tavtest::MakeTempDir("save");
    const std::string file = dir + "/real.xml";
    const std::string link = dir + "/link.xml";
    ASSERT_TRUE(tavtest::WriteFile(file, "old"));
    ASSERT_EQ(chmod(file.c_str(), 0640), 0);
    ASSERT_EQ(symlink("real.xml", link.c_str()), 0);
    ASSERT_EQ(p.Save2File(link), 0);
    struct stat st;
    ASSERT_EQ(lstat(link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_NE(tavtest::ReadFile(file).find("<Root>"), std::string::npos);

    // Only the two names remain: no temporary copy is left behind.
    int entries = 0;
    if (DIR* d = opendir(dir.c_str())) {
        while (dirent* e = readdir(d))
            entries += e->d_name[0] != '.';
        closedir(d);
    }
    EXPECT_EQ(entries, 2);
}

// Documents above the size bound are refused before they are parsed or read
// whole, with a log line that gives the size and none of the text.
TEST(DataProvider, DocumentsAboveTheSizeBoundAreRefused)
{
    const std::size_t limit = 4u * 1024 * 1024;
    const std::string fits = "<a>" + std::string(limit - 7, 'x') + "</a>";
    const std::string over = "<a>" + std::string(limit - 6, 'y') + "</a>";
    Probe p;
    EXPECT_EQ(p.LoadFromString(fits), 0);
    EXPECT_EQ(p.LoadFromString(over), -1);

    const std::string file = tavtest::TempRoot() + "/over.xml";
    ASSERT_TRUE(tavtest::WriteFile(file, over));
    EXPECT_EQ(p.LoadFromFile(file), -1);
    std::string text = "kept";
    EXPECT_EQ(p.Deciphering(text, file), -1);
    EXPECT_EQ(text, "kept");
    // A device is no file, and is never read without end.
    EXPECT_EQ(p.Deciphering(text, "/dev/zero"), -1);
    EXPECT_EQ(p.dom2MemberCalls, 1);

    const std::string log = tavtest::ReadFile(tavtest::Home() + "/TAVLog/publicLog.log");
    const std::string size = "4194305 bytes, more than the 4194304 a document may have\n";
    EXPECT_NE(log.find("LoadFromString() --refused a text of " + size), std::string::npos);
    EXPECT_NE(log.find("LoadFromFile() --refused " + file + ": " + size), std::string::npos);
    EXPECT_NE(log.find("Deciphering() --refused " + file + ": " + size), std::string::npos);
    EXPECT_EQ(log.find("yyyy"), std::string::npos);
}
