// The teacher machine's certificate and key: checked against the class CA
// before they are used, installed without ever leaving a half-written file.
#ifndef TAV_TEACHERD_TEACHERCREDENTIALS_H
#define TAV_TEACHERD_TEACHERCREDENTIALS_H

#include <cstddef>
#include <string>

namespace teacherd {

// The largest PEM file read (a certificate and its key take about 2 KiB).
constexpr std::size_t kMaxPemBytes = 64 * 1024;

// Verifies the first certificate in pemText against the CA certificates of
// caFile, the current time included. False with the reason in why.
bool VerifyCertificate(const std::string& pemText, const std::string& caFile, std::string& why);

// pemText holds the teacher's certificate (common name "teacher", issued
// by the class CA for client use, valid now) and its private key (not
// protected by a password): writes them as certFile and keyFile (0600, one
// file when both are the same path). False with the reason in why, and
// nothing changed.
bool InstallTeacherCredentials(const std::string& pemText, const std::string& caFile,
                               const std::string& certFile, const std::string& keyFile,
                               std::string& why);

// Whether password opens the private key in pemText: 0 it does (a key
// without protection opens with the empty password only), 1 it does not,
// 2 there is no private key in the text.
int CheckKeyPassword(const std::string& pemText, const std::string& password);

} // namespace teacherd

#endif
