// The exit status that carries a daemon's result code (tavctl
// --result-status). 0, 1 (no answer) and 2 (bad input) keep their meaning,
// 126 and 127 are the shell's, 128 and up are deaths by signal: a result code
// from 1 to 122 exits with 2 + code (3 to 124), every other non-zero code
// (negative, or above 122) with 125. The exact code is in the output.
#ifndef TAV_TOOLS_EXITSTATUS_H
#define TAV_TOOLS_EXITSTATUS_H

namespace tavtools {

constexpr int kResultStatusOffset = 2;
constexpr int kResultStatusLast = 125;

constexpr int ResultExitStatus(int resultCode)
{
    if (resultCode == 0)
        return 0;
    if (resultCode > 0 && resultCode <= kResultStatusLast - 1 - kResultStatusOffset)
        return kResultStatusOffset + resultCode;
    return kResultStatusLast;
}

} // namespace tavtools

#endif
