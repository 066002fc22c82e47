// Leading-decimal reading shared by the envelope header and the parameter
// getters (internal, not installed).
#ifndef TAV_INTFDATA_DECIMALTEXT_H
#define TAV_INTFDATA_DECIMALTEXT_H

#include <climits>

namespace IPCAPI {
namespace detail {

// The integer at the start of [begin, end): white space skipped, an optional
// sign, then decimal digits, read up to the first other character. Values
// beyond int saturate. False, value untouched, when there is no digit.
inline bool LeadingDecimal(const char* begin, const char* end, int& value)
{
    const char* p = begin;
    while (p != end && (*p == ' ' || (*p >= '\t' && *p <= '\r')))
        ++p;
    bool negative = false;
    if (p != end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    if (p == end || *p < '0' || *p > '9')
        return false;
    const long long cap = static_cast<long long>(INT_MAX) + 1;
    long long v = 0;
    for (; p != end && *p >= '0' && *p <= '9'; ++p)
        if (v <= cap) // further digits only make it larger
            v = v * 10 + (*p - '0');
    if (negative)
        value = v >= cap ? INT_MIN : static_cast<int>(-v);
    else
        value = v > INT_MAX ? INT_MAX : static_cast<int>(v);
    return true;
}

} // namespace detail
} // namespace IPCAPI

#endif
