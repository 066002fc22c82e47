// The bus names, interfaces, match rules and object path, for the sources
// that knew them from here: they live in the installed TAVProtocol.h.
#ifndef TAV_IPC_IPCNAMES_H
#define TAV_IPC_IPCNAMES_H

#include "TAVProtocol.h"

#endif
