// GDI+ is no known DLL: a gdiplus.dll beside the program would be loaded
// before the system's own. Parlex therefore imports nothing from it; the
// library is loaded at run time, by a full path in a folder that only
// administrators can write, after the DLL search is restricted.
#pragma once

// Loads GDI+ and fills every GDI+ function Parlex calls. Until then each of
// them answers GdiplusNotInitialized. False when it cannot be loaded, or
// lacks a function.
bool loadGdiplus();
