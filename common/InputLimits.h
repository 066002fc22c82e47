// Bounds on every text that enters the libraries from outside the process
// (bus messages, parameter documents, configuration files); internal, not
// installed.
#ifndef TAV_COMMON_INPUTLIMITS_H
#define TAV_COMMON_INPUTLIMITS_H

#include <cstddef>

namespace tav_common {

// The largest envelope or document accepted. The largest legitimate one is
// a search answer of 1000 programs, about 240 KiB; 4 MiB leaves room for
// big classes and long paths while keeping a hostile text cheap to refuse.
constexpr std::size_t kMaxDocumentBytes = 4u * 1024 * 1024;

// The most nodes (elements, attributes, texts, comments...) one parse may
// build. TinyXML spends a few hundred bytes per node whatever its text, so
// "<a/>" repeated costs about 60 times its size; with this bound a parse
// stays within a small multiple of kMaxDocumentBytes. Legitimate documents
// hold at most a few tens of thousands.
constexpr std::size_t kMaxXmlNodes = 100000;

} // namespace tav_common

#endif
