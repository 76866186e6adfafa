// The program starts GDI+ once it has loaded it; the tests link it and start
// it before any test runs.
#include "skin/back_buffer.h"

static const bool gdiplusStarted = startGdiplus();
