// The state of the skin and the folders below it: the file system calls.
// The views and back buffers of the skin's tests are their own.
#include "files/held_folder.h"

#include "state_reset.h"

void resetLinkedState() {
    fileSystemCalls = realFileSystemCalls();
}
