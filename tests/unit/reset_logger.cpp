// Tessig's state, which holds that of every folder below the logger.
#include "logger/logger.h"

#include "state_reset.h"

void resetLinkedState() {
    resetTessigState();
}
