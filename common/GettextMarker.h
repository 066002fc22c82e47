// N_("text") marks a text for the message templates without translating it
// where it stands (tables of constants); it is translated where it is shown.
// Internal, not installed.
#ifndef TAV_COMMON_GETTEXTMARKER_H
#define TAV_COMMON_GETTEXTMARKER_H

#ifndef N_
#define N_(text) text
#endif

#endif
