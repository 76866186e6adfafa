#include "monitor/app_state.h"
#include "files/held_folder.h"
#include "skin/painting.h"

#include <new>

ParlexState parlex;

void resetParlexState() {
    parlex.~ParlexState();
    new (&parlex) ParlexState();
    resetSkinState();
    fileSystemCalls = realFileSystemCalls();
}

#ifndef _WIN64
static_assert(sizeof(NOTIFYICONDATAA) == 508, "the record form with balloon and GUID fields");
#endif
