// The state of the binding and of the folders on it up to sampling: the
// binding's alone, as the GPU layer keeps none and sampling's is Parlex's.
#include "nvapi/nvapi.h"

#include "state_reset.h"

void resetLinkedState() {
    nvapi::restartBinding();
}
