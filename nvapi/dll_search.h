// Both programs may run elevated from a folder that an ordinary user can
// write. The vendor's libraries and the system's own delayed loads then must
// never pick up a DLL placed beside the program.
#pragma once

// Restricts the search for DLLs loaded by bare name to the system directory
// (SetDefaultDllDirectories, Windows 8 and 7 with KB2533623), else takes the
// program's folder and the working directory out of it (SetDllDirectory with
// an empty string, XP SP1 on). Both are resolved at run time. Call it first.
void restrictDllSearch();
