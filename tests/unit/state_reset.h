// Every test starts on the program's state as the program starts with it,
// and leaves none behind: one listener resets it before and after each test.
// A suite that builds its state once for all of its tests names itself here
// at static initialisation, and is reset before and after the whole suite.
#pragma once

// Resets the state of every folder the test program links; defined by the
// reset_<folder>.cpp of the highest of them that keeps any.
void resetLinkedState();

bool keepStateAcrossTests(const char* suite);
