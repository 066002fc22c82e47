#include "TeacherCredentials.h"

#include "FileStore.h"
#include "SafeFile.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/x509.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>

#include <cstring>
#include <functional>
#include <memory>

namespace teacherd {

namespace {

constexpr const char* kTeacherName = "teacher";

template <class T, void (*Free)(T*)>
struct Deleter {
    void operator()(T* p) const { Free(p); }
};
void FreeBio(BIO* b) { BIO_free(b); }
using BioPtr = std::unique_ptr<BIO, Deleter<BIO, FreeBio>>;
using X509Ptr = std::unique_ptr<X509, Deleter<X509, X509_free>>;
using KeyPtr = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using StorePtr = std::unique_ptr<X509_STORE, Deleter<X509_STORE, X509_STORE_free>>;
using StoreCtxPtr = std::unique_ptr<X509_STORE_CTX, Deleter<X509_STORE_CTX, X509_STORE_CTX_free>>;

// OpenSSL keeps its errors per thread: leave none behind.
struct ErrorsCleared {
    ~ErrorsCleared() { ERR_clear_error(); }
};

BioPtr Reader(const std::string& text)
{
    return BioPtr(BIO_new_mem_buf(text.data(), static_cast<int>(text.size())));
}

// What a password callback was asked and answers.
struct Passphrase {
    const std::string* password = nullptr; // null: refuse
    bool asked = false;
};

int AnswerPassphrase(char* buf, int size, int, void* user)
{
    auto* p = static_cast<Passphrase*>(user);
    p->asked = true;
    if (!p->password || p->password->size() > static_cast<std::size_t>(size))
        return -1;
    std::memcpy(buf, p->password->data(), p->password->size());
    return static_cast<int>(p->password->size());
}

X509Ptr FirstCertificate(const std::string& pemText)
{
    BioPtr bio = Reader(pemText);
    return X509Ptr(bio ? PEM_read_bio_X509(bio.get(), nullptr, nullptr, nullptr) : nullptr);
}

KeyPtr PrivateKey(const std::string& pemText, Passphrase& passphrase)
{
    BioPtr bio = Reader(pemText);
    return KeyPtr(bio ? PEM_read_bio_PrivateKey(bio.get(), nullptr, AnswerPassphrase, &passphrase)
                      : nullptr);
}

bool Verify(X509* cert, const std::string& caFile, bool clientUse, std::string& why)
{
    StorePtr store(X509_STORE_new());
    StoreCtxPtr ctx(X509_STORE_CTX_new());
    if (!store || !ctx) {
        why = "out of memory";
        return false;
    }
    if (X509_STORE_load_file(store.get(), caFile.c_str()) != 1) {
        why = "the class CA " + caFile + " cannot be read";
        return false;
    }
    if (X509_STORE_CTX_init(ctx.get(), store.get(), cert, nullptr) != 1 ||
        (clientUse && X509_STORE_CTX_set_purpose(ctx.get(), X509_PURPOSE_SSL_CLIENT) != 1)) {
        why = "the certificate cannot be checked";
        return false;
    }
    if (X509_verify_cert(ctx.get()) != 1) {
        why = std::string("not valid for the class CA: ") +
              X509_verify_cert_error_string(X509_STORE_CTX_get_error(ctx.get()));
        return false;
    }
    return true;
}

// The one common name of the subject, or "" when there is none or several.
std::string CommonName(X509* cert)
{
    X509_NAME* subject = X509_get_subject_name(cert);
    const int at = X509_NAME_get_index_by_NID(subject, NID_commonName, -1);
    if (at < 0 || X509_NAME_get_index_by_NID(subject, NID_commonName, at) >= 0)
        return "";
    const ASN1_STRING* data = X509_NAME_ENTRY_get_data(X509_NAME_get_entry(subject, at));
    return std::string(reinterpret_cast<const char*>(ASN1_STRING_get0_data(data)),
                       static_cast<std::size_t>(ASN1_STRING_length(data)));
}

std::string Pem(const std::function<int(BIO*)>& write)
{
    BioPtr bio(BIO_new(BIO_s_mem()));
    if (!bio || write(bio.get()) != 1)
        return "";
    char* data = nullptr;
    const long size = BIO_get_mem_data(bio.get(), &data);
    return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : "";
}

} // namespace

bool VerifyCertificate(const std::string& pemText, const std::string& caFile, std::string& why)
{
    ErrorsCleared cleared;
    X509Ptr cert = FirstCertificate(pemText);
    if (!cert) {
        why = "no PEM certificate found";
        return false;
    }
    return Verify(cert.get(), caFile, false, why);
}

bool InstallTeacherCredentials(const std::string& pemText, const std::string& caFile,
                               const std::string& certFile, const std::string& keyFile,
                               std::string& why)
{
    ErrorsCleared cleared;
    X509Ptr cert = FirstCertificate(pemText);
    if (!cert) {
        why = "no PEM certificate found";
        return false;
    }
    if (CommonName(cert.get()) != kTeacherName) {
        why = "the certificate is not the teacher's (its common name must be \"teacher\")";
        return false;
    }
    if (!Verify(cert.get(), caFile, true, why))
        return false;
    Passphrase refuse;
    KeyPtr key = PrivateKey(pemText, refuse);
    if (!key) {
        why = refuse.asked ? "the private key is protected by a password; import it without one"
                           : "no PEM private key found";
        return false;
    }
    if (X509_check_private_key(cert.get(), key.get()) != 1) {
        why = "the private key does not belong to the certificate";
        return false;
    }
    const std::string certPem = Pem([&](BIO* b) { return PEM_write_bio_X509(b, cert.get()); });
    const std::string keyPem = Pem([&](BIO* b) {
        return PEM_write_bio_PrivateKey(b, key.get(), nullptr, nullptr, 0, nullptr, nullptr);
    });
    if (certPem.empty() || keyPem.empty()) {
        why = "the certificate or key cannot be written out";
        return false;
    }
    if (certFile == keyFile)
        return tavd::WriteFileAtomic(certFile, certPem + keyPem, 0600, why);
    // Two files: the old key comes back if the certificate cannot follow it.
    std::string oldKey, ignored;
    const bool hadKey = tavtools::ReadRegularFile(keyFile, kMaxPemBytes, oldKey, ignored);
    if (!tavd::WriteFileAtomic(keyFile, keyPem, 0600, why))
        return false;
    if (!tavd::WriteFileAtomic(certFile, certPem, 0600, why)) {
        if (hadKey)
            tavd::WriteFileAtomic(keyFile, oldKey, 0600, ignored);
        return false;
    }
    return true;
}

int CheckKeyPassword(const std::string& pemText, const std::string& password)
{
    ErrorsCleared cleared;
    Passphrase given;
    given.password = &password;
    KeyPtr key = PrivateKey(pemText, given);
    if (!key)
        return given.asked ? 1 : 2;
    // Without protection the key opens whatever is typed: only "no
    // password" is the right one.
    return given.asked || password.empty() ? 0 : 1;
}

} // namespace teacherd
