#include "sampling/logger_control.h"

void runLoggerControl() {}
