// Both programs may run elevated from a folder that an ordinary user can
// write. The vendor's libraries and the system's own delayed loads then must
// never pick up a DLL placed beside the program.
#pragma once

// Restricts the search for DLLs loaded by bare name to the system directory
// where the system can (SetDefaultDllDirectories: Windows 8, and 7 or Vista
// with KB2533623). Elsewhere it only takes the working directory out of the
// search (SetDllDirectory with an empty string, XP SP1 on): the program's own
// folder is still searched first there. So every library that either program
// loads at run time is named by its full path, and this is a second line.
// Both functions are resolved at run time. Call it first.
void restrictDllSearch();
