// Parlex's state, which holds that of every folder below the monitor.
#include "monitor/app_state.h"

#include "state_reset.h"

void resetLinkedState() {
    resetParlexState();
}
