// Passwords never come from the command line (other users can read it): on
// a terminal they are typed without echo, otherwise each is one line of
// standard input.
#ifndef TAVCTL_SECRETS_H
#define TAVCTL_SECRETS_H

#include <string>

namespace tavctl {

// One password. prompt is shown (on standard error) only on a terminal.
// UsageError when standard input ends first.
std::string ReadSecret(const std::string& prompt);
// True when passwords are typed at a terminal.
bool SecretsFromTerminal();

} // namespace tavctl

#endif
