#include "TAVDataProvider.h"

#include "InputLimits.h"
#include "TAVLog.h"
#include "XmlGuard.h"

#include <openssl/bn.h>
#include <openssl/rsa.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
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
    if (!rsa || !n || !e || !d || !BN_hex2bn(&n, kModulusHex) || !BN_set_word(e, kPublicExponent) ||
        !BN_hex2bn(&d, kPrivateExponentHex) || RSA_set0_key(rsa.get(), n, e, d) != 1) {
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

void Log(const std::string& message) { CTAVLog::WriteLine(message, CTAVLog::LOG_ERROR, "", false); }

std::string Errno() { return std::strerror(errno); }

class Fd {
public:
    explicit Fd(int fd = -1) : m_fd(fd) {}
    ~Fd()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Fd(const Fd&) = delete;
    Fd& operator=(const Fd&) = delete;
    int get() const { return m_fd; }

private:
    int m_fd;
};

struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
};
struct FileCloser {
    void operator()(FILE* fp) const { std::fclose(fp); }
};

// Reads the regular file at path whole into text. Documents above
// kMaxDocumentBytes are refused before they are read (by their size) or
// while they are (a file that grows, or reports no size as /proc files
// do), with a log line that names the size, never the contents. A FIFO or
// device is refused without waiting for it.
bool ReadDocumentFile(const std::string& path, const char* who, std::string& text)
{
    const std::size_t limit = tav_common::kMaxDocumentBytes;
    const Fd fd(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    if (static_cast<unsigned long long>(st.st_size) > limit) {
        Log(std::string(who) + " --refused " + path + ": " + std::to_string(st.st_size) +
            " bytes, more than the " + std::to_string(limit) + " a document may have");
        return false;
    }
    std::string data;
    data.reserve(static_cast<std::size_t>(st.st_size));
    char buf[65536];
    for (;;) {
        // One byte past the bound is enough to tell it was crossed.
        const std::size_t room = std::min(sizeof buf, limit + 1 - data.size());
        const ssize_t n = ::read(fd.get(), buf, room);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        if (n == 0)
            break;
        data.append(buf, static_cast<std::size_t>(n));
        if (data.size() > limit) {
            Log(std::string(who) + " --refused " + path + ": more than the " +
                std::to_string(limit) + " bytes a document may have");
            return false;
        }
    }
    text.swap(data);
    return true;
}

// The whole document as TinyXML's file writer prints it, so that nothing
// is written until all of it is known.
bool RenderDocument(const TiXmlDocument& doc, std::string& text)
{
    char* buf = nullptr;
    std::size_t size = 0;
    std::unique_ptr<char, FreeDeleter> owner;
    {
        std::unique_ptr<FILE, FileCloser> fp(::open_memstream(&buf, &size));
        if (!fp)
            return false;
        const bool printed = doc.SaveFile(fp.get());
        const bool flushed = std::fflush(fp.get()) == 0;
        fp.reset();
        owner.reset(buf);
        if (!printed || !flushed)
            return false;
    }
    text.assign(owner.get(), size);
    return true;
}

// Writes text from the start of a regular file (positional) or to a
// device or pipe as it comes.
bool WriteAll(int fd, const std::string& text, bool positional = true)
{
    std::size_t done = 0;
    while (done < text.size()) {
        const char* from = text.data() + done;
        const std::size_t left = text.size() - done;
        const ssize_t n = positional ? ::pwrite(fd, from, left, static_cast<off_t>(done))
                                     : ::write(fd, from, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// A temporary copy beside the file it will replace; removed unless it was
// renamed into place.
class TempCopy {
public:
    explicit TempCopy(const std::string& target) : m_name(target + ".XXXXXX")
    {
        m_fd = ::mkostemp(&m_name[0], O_CLOEXEC);
    }
    ~TempCopy()
    {
        if (m_fd >= 0) {
            ::close(m_fd);
            ::unlink(m_name.c_str());
        }
    }
    TempCopy(const TempCopy&) = delete;
    TempCopy& operator=(const TempCopy&) = delete;
    int fd() const { return m_fd; }
    bool RenameTo(const std::string& target)
    {
        if (::rename(m_name.c_str(), target.c_str()) != 0)
            return false;
        ::close(m_fd);
        m_fd = -1;
        return true;
    }

private:
    std::string m_name;
    int m_fd;
};

enum class Outcome { Written, Failed, WriteInPlace };

// Writes text to a new copy beside target and renames it over target, so
// that readers see the old document or the new one, never a part. The copy
// takes over the old file's owner, group and mode (old is null for a new
// file: 0644). When the folder cannot take a copy, or the copy cannot have
// the old owner and group, the caller writes in place instead.
Outcome ReplaceFile(const std::string& target, const std::string& text, const struct stat* old,
                    const std::string& who)
{
    TempCopy copy(target);
    if (copy.fd() < 0) {
        if (!old) {
            Log(who + "cannot create " + target + ": " + Errno());
            return Outcome::Failed;
        }
        return Outcome::WriteInPlace;
    }
    if (old) {
        struct stat mine;
        if (::fstat(copy.fd(), &mine) != 0 ||
            ((mine.st_uid != old->st_uid || mine.st_gid != old->st_gid) &&
             ::fchown(copy.fd(), old->st_uid, old->st_gid) != 0)) {
            Log(who + "cannot give a new copy of " + target + " its owner " +
                std::to_string(old->st_uid) + ":" + std::to_string(old->st_gid) + " (" + Errno() +
                "); writing it in place instead");
            return Outcome::WriteInPlace;
        }
    }
    // After fchown, which clears set-id bits.
    if (::fchmod(copy.fd(), old ? (old->st_mode & 07777) : 0644) != 0) {
        Log(who + "cannot give a new copy of " + target + " its mode (" + Errno() +
            "); writing it in place instead");
        return old ? Outcome::WriteInPlace : Outcome::Failed;
    }
    if (!WriteAll(copy.fd(), text) || !copy.RenameTo(target)) {
        Log(who + "cannot write " + target + ": " + Errno() +
            (old ? "; the file is left as it was" : ""));
        return Outcome::Failed;
    }
    return Outcome::Written;
}

// Rewrites target in place (same file, so owner, group, mode and links
// stay). The space for the new text is reserved before anything is
// overwritten, and the old text is kept to be put back: a full disk or a
// quota makes the save fail and leaves the old document as it was.
bool RewriteInPlace(const std::string& target, const std::string& text, const std::string& who)
{
    const Fd fd(::open(target.c_str(), O_RDWR | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC));
    struct stat st;
    if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) {
        Log(who + "cannot write " + target + ": " + Errno());
        return false;
    }
    std::string old(static_cast<std::size_t>(st.st_size), '\0');
    for (std::size_t got = 0; got < old.size();) {
        const ssize_t n = ::pread(fd.get(), &old[got], old.size() - got, static_cast<off_t>(got));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            Log(who + "cannot read " + target +
                " before rewriting it: " + (n == 0 ? "it shrank" : Errno()));
            return false;
        }
        got += static_cast<std::size_t>(n);
    }
    if (const int rc = ::posix_fallocate(fd.get(), 0, static_cast<off_t>(text.size()))) {
        Log(who + "no room for " + std::to_string(text.size()) + " bytes in " + target + ": " +
            std::strerror(rc) + "; the file is left as it was");
        return false;
    }
    if (WriteAll(fd.get(), text) && ::ftruncate(fd.get(), static_cast<off_t>(text.size())) == 0)
        return true;
    const std::string why = Errno();
    const bool restored =
        WriteAll(fd.get(), old) && ::ftruncate(fd.get(), static_cast<off_t>(old.size())) == 0;
    Log(who + "cannot write " + target + ": " + why +
        (restored ? "; the old document was put back"
                  : "; the old document could not be put back"));
    return false;
}

// Writes text to path for who (the log lines' prefix). A regular file (or
// a new one) is replaced by a complete copy or rewritten in place as above;
// a link is followed. Anything else (a device, say) is written directly,
// without waiting for a reader.
bool WriteFileText(const std::string& path, const std::string& text, const std::string& who)
{
    struct stat st;
    if (::stat(path.c_str(), &st) != 0)
        return ReplaceFile(path, text, nullptr, who) == Outcome::Written;
    if (!S_ISREG(st.st_mode)) {
        const Fd fd(::open(path.c_str(), O_WRONLY | O_NONBLOCK | O_CLOEXEC));
        if (fd.get() >= 0 && WriteAll(fd.get(), text, false))
            return true;
        Log(who + "cannot write " + path + ": " + Errno());
        return false;
    }
    std::string target = path;
    if (char* resolved = ::realpath(path.c_str(), nullptr)) {
        target = resolved;
        std::free(resolved);
    }
    switch (ReplaceFile(target, text, &st, who)) {
    case Outcome::Written:
        return true;
    case Outcome::WriteInPlace:
        return RewriteInPlace(target, text, who);
    case Outcome::Failed:
        break;
    }
    return false;
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

CTAVDataProvider::~CTAVDataProvider() { delete m_pDocument; }

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
    std::string text;
    if (!ReadDocumentFile(path, "CTAVDataProvider::LoadFromFile()", text))
        return -1;
    // TinyXML stops at the first NUL too; only the part it would see counts.
    text.resize(std::strlen(text.c_str()));
    NormaliseLineEnds(text);
    m_pDocument->SetValue(path);
    if (!tav_common::XmlTextIsSafe(text) || !ParseText(m_pDocument, text)) {
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
    if (length > tav_common::kMaxDocumentBytes) {
        Log("CTAVDataProvider::LoadFromString() --refused a text of " + std::to_string(length) +
            " bytes, more than the " + std::to_string(tav_common::kMaxDocumentBytes) +
            " a document may have");
        return -1;
    }
    if (!tav_common::XmlTextIsSafe(data, length))
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
    const std::string who = "CTAVDataProvider::Save2File() --";
    std::string text;
    if (!RenderDocument(*m_pDocument, text)) {
        Log(who + "cannot print the document for " + path);
        return -1;
    }
    return WriteFileText(path, text, who) ? 0 : -1;
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
    return WriteFileText(path, cipher, "CTAVDataProvider::Enciphering() --") ? 0 : -1;
}

int CTAVDataProvider::Deciphering(std::string& text, const std::string& path)
{
    std::string cipher;
    if (!ReadDocumentFile(path, "CTAVDataProvider::Deciphering()", cipher))
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
