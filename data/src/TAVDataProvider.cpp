#include "TAVDataProvider.h"

#include "TAVLog.h"
#include "XmlGuard.h"

#include <openssl/bn.h>
#include <openssl/rsa.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <sstream>
#include <vector>

namespace LibTAVData {

namespace {

// The library's fixed key: a 32-bit modulus (top bit set, so every block
// whose first byte is below 0x80 is below it) and its private exponent for
// the public exponent 65537.
const char kModulusHex[] = "CA95D511";
const char kPrivateExponentHex[] = "8CB92779";
const unsigned long kPublicExponent = 65537;
const int kBlock = 4;

struct RsaDeleter {
    void operator()(RSA* r) const { RSA_free(r); }
};
using RsaPtr = std::unique_ptr<RSA, RsaDeleter>;

// The key is built afresh for every block; nothing is shared between calls
// or threads.
RsaPtr makeKey()
{
    RsaPtr rsa(RSA_new());
    BIGNUM* n = BN_new();
    BIGNUM* e = BN_new();
    BIGNUM* d = BN_new();
    if (!rsa || !n || !e || !d || !BN_hex2bn(&n, kModulusHex) ||
        !BN_set_word(e, kPublicExponent) || !BN_hex2bn(&d, kPrivateExponentHex) ||
        RSA_set0_key(rsa.get(), n, e, d) != 1) {
        BN_free(n);
        BN_free(e);
        BN_free(d);
        return nullptr;
    }
    return rsa;
}

// TinyXML steps over a multi-byte UTF-8 sequence by the length its lead
// byte announces without looking for the end of the text, so a text ending
// in a cut sequence is read past its end. Parsing a copy followed by a few
// NULs keeps every such step inside the buffer.
bool ParseText(TiXmlDocument* doc, std::string text)
{
    text.append(8, '\0');
    doc->Parse(text.c_str(), nullptr, TIXML_ENCODING_UNKNOWN);
    return !doc->Error();
}

// Line ends as TinyXML's own file loader makes them: CR LF and a lone CR
// become LF.
void NormaliseLineEnds(std::string& text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] != '\r') {
            out += text[i];
            continue;
        }
        out += '\n';
        if (i + 1 < text.size() && text[i + 1] == '\n')
            ++i;
    }
    text.swap(out);
}

// Prints doc with TinyXML's file writer into fp; false when any write failed
// (TinyXML itself does not look at the result of its writes).
bool PrintDocument(const TiXmlDocument& doc, FILE* fp)
{
    const bool printed = doc.SaveFile(fp);
    const bool flushed = std::fflush(fp) == 0 && !std::ferror(fp);
    return std::fclose(fp) == 0 && printed && flushed;
}

// Writes doc to path so that a failed write is reported and never leaves a
// truncated file behind: a regular file (or a new one) is replaced at once by
// a completed copy written beside it, keeping its mode; a link is followed.
// Anything else (a device, say) is written in place.
bool WriteDocument(const TiXmlDocument& doc, const std::string& path)
{
    std::string target = path;
    struct stat st;
    bool exists = false;
    if (::stat(path.c_str(), &st) == 0) {
        exists = true;
        if (!S_ISREG(st.st_mode)) {
            FILE* fp = std::fopen(path.c_str(), "w");
            return fp && PrintDocument(doc, fp);
        }
        if (char* resolved = ::realpath(path.c_str(), nullptr)) {
            target = resolved;
            std::free(resolved);
        }
    }
    std::string temp = target + ".XXXXXX";
    int fd = ::mkostemp(&temp[0], O_CLOEXEC);
    if (fd < 0) {
        // No room for a copy beside it (a folder we may not write into):
        // write in place, still reporting failures.
        FILE* fp = std::fopen(path.c_str(), "w");
        return fp && PrintDocument(doc, fp);
    }
    ::fchmod(fd, exists ? (st.st_mode & 07777) : 0644);
    FILE* fp = ::fdopen(fd, "w");
    if (!fp) {
        ::close(fd);
        ::unlink(temp.c_str());
        return false;
    }
    if (!PrintDocument(doc, fp) || ::rename(temp.c_str(), target.c_str()) != 0) {
        ::unlink(temp.c_str());
        return false;
    }
    return true;
}

// TinyXML's white-space switch is process-wide and read by every parse, on
// the IPC worker thread too: write it only when it has to change, so loads
// on different threads do not race on it.
void KeepWhiteSpace()
{
    if (TiXmlBase::IsWhiteSpaceCondensed())
        TiXmlBase::SetCondenseWhiteSpace(false);
}

void padToBlocks(std::string& text)
{
    if (text.size() % kBlock)
        text.append(kBlock - text.size() % kBlock, ' ');
}

// Enciphers padded text into cipher; false when any block fails.
bool encipherAll(const std::string& padded, std::string& cipher)
{
    cipher.clear();
    cipher.reserve(padded.size());
    bool ok = true;
    for (std::size_t i = 0; i < padded.size(); i += kBlock) {
        unsigned char block[kBlock];
        std::memcpy(block, padded.data() + i, kBlock);
        if (!Rsa::Enciphering(block, kBlock))
            ok = false;
        cipher.append(reinterpret_cast<const char*>(block), kBlock);
    }
    return ok;
}

} // namespace

bool Rsa::Enciphering(unsigned char* block, int length)
{
    (void)length;
    CTAVLog::WriteLine("Rsa::Enciphering>>Start", CTAVLog::LOG_TRACE, "", false);
    unsigned char out[kBlock] = {0, 0, 0, 0};
    RsaPtr key = makeKey();
    if (!key || RSA_public_encrypt(kBlock, block, out, key.get(), RSA_NO_PADDING) != kBlock) {
        CTAVLog::WriteLine("Rsa::Enciphering>>Encrypt failed", CTAVLog::LOG_TRACE, "", false);
        std::memset(block, '0', kBlock);
        return false;
    }
    std::memcpy(block, out, kBlock);
    return true;
}

bool Rsa::Deciphering(unsigned char* block, int length)
{
    (void)length;
    unsigned char out[kBlock] = {0, 0, 0, 0};
    RsaPtr key = makeKey();
    if (!key || RSA_private_decrypt(kBlock, block, out, key.get(), RSA_NO_PADDING) != kBlock)
        std::memset(out, 0, kBlock);
    std::memcpy(block, out, kBlock);
    return true;
}

CTAVDataProvider::CTAVDataProvider() : m_pDocument(new TiXmlDocument) {}

CTAVDataProvider::~CTAVDataProvider()
{
    delete m_pDocument;
}

int CTAVDataProvider::DOM2Member() { return 0; }
int CTAVDataProvider::Member2DOM() { return 0; }

int CTAVDataProvider::LoadFromFile(const std::string& path)
{
    KeepWhiteSpace();
    if (!m_pDocument)
        return -1;
    m_pDocument->Clear();
    m_strFilePath = path;

    // Only regular files: a folder cannot be read as one (TinyXML's own file
    // loader even sized its buffer by seeking to a folder's end), and a FIFO
    // would block the open until a writer comes.
    int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return -1;
    struct stat st;
    FILE* fp = nullptr;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !(fp = ::fdopen(fd, "rb"))) {
        ::close(fd);
        return -1;
    }
    std::string text;
    char buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, fp)) > 0;)
        text.append(buf, n);
    const bool readFailed = std::ferror(fp) != 0;
    std::fclose(fp);
    // TinyXML stops at the first NUL too; only the part it would see counts.
    text.resize(std::strlen(text.c_str()));
    NormaliseLineEnds(text);
    m_pDocument->SetValue(path);
    if (readFailed || !TavInternal::XmlTextIsSafe(text) || !ParseText(m_pDocument, text)) {
        m_pDocument->Clear();
        return -1;
    }
    return DOM2Member();
}

int CTAVDataProvider::LoadFromString(const std::string& text)
{
    KeepWhiteSpace();
    if (!m_pDocument)
        return -1;
    m_pDocument->Clear();
    const char* data = text.c_str();
    const std::size_t length = std::strlen(data);
    if (!TavInternal::XmlTextIsSafe(data, length))
        return -1;
    if (!ParseText(m_pDocument, std::string(data, length))) {
        m_pDocument->Clear();
        return -1;
    }
    return DOM2Member();
}

int CTAVDataProvider::Save2File(const std::string& path)
{
    if (!m_pDocument)
        return -1;
    m_pDocument->Clear();
    int rc = Member2DOM();
    if (rc != 0)
        return rc;
    return WriteDocument(*m_pDocument, path) ? 0 : -1;
}

int CTAVDataProvider::Save2String(std::string& out)
{
    if (!m_pDocument)
        return -1;
    m_pDocument->Clear();
    int rc = Member2DOM();
    if (rc != 0)
        return rc;
    TiXmlPrinter printer;
    printer.SetIndent("    ");
    printer.SetLineBreak("\n");
    m_pDocument->Accept(&printer);
    out = printer.Str();
    return 0;
}

int CTAVDataProvider::Enciphering(std::string& text)
{
    std::string padded = text;
    padToBlocks(padded);
    std::string cipher;
    if (!encipherAll(padded, cipher))
        return -1;
    text.swap(cipher);
    return 0;
}

int CTAVDataProvider::Deciphering(std::string& text)
{
    std::string plain;
    plain.reserve(text.size() + kBlock);
    for (std::size_t i = 0; i < text.size(); i += kBlock) {
        unsigned char block[kBlock] = {0, 0, 0, 0};
        std::memcpy(block, text.data() + i, std::min<std::size_t>(kBlock, text.size() - i));
        Rsa::Deciphering(block, kBlock);
        plain.append(reinterpret_cast<const char*>(block), kBlock);
    }
    text.swap(plain);
    return 0;
}

int CTAVDataProvider::Enciphering(std::string& text, const std::string& path)
{
    padToBlocks(text);
    std::string cipher;
    if (!encipherAll(text, cipher))
        return -1;
    FILE* fp = std::fopen(path.c_str(), "wb");
    if (!fp)
        return -1;
    const bool written = std::fwrite(cipher.data(), 1, cipher.size(), fp) == cipher.size();
    if (std::fclose(fp) != 0 || !written) {
        std::remove(path.c_str());
        return -1;
    }
    return 0;
}

int CTAVDataProvider::Deciphering(std::string& text, const std::string& path)
{
    FILE* fp = std::fopen(path.c_str(), "rb");
    if (!fp)
        return -1;
    std::string cipher;
    char buf[65536];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, fp)) > 0;)
        cipher.append(buf, n);
    const bool failed = std::ferror(fp) != 0;
    std::fclose(fp);
    if (failed)
        return -1;
    Deciphering(cipher);
    text.swap(cipher);
    return 0;
}

bool CTAVDataProvider::ConvertString2Int(std::string& text, int& value)
{
    value = 0;
    std::istringstream in(text);
    int v = 0;
    if (!(in >> v))
        return false;
    value = v;
    return true;
}

bool CTAVDataProvider::ConvertInt2String(int value, std::string& text)
{
    std::ostringstream os;
    os << value;
    if (!os.good())
        return false;
    text = os.str();
    return true;
}

} // namespace LibTAVData
