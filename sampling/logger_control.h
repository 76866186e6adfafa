// Keeps the history logger running while "Monitor History" is ticked.
#pragma once

// One step, at the end of every pass of the sampling thread.
void runLoggerControl();
