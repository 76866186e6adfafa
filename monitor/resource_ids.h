// Parlex's resource ids, used by the code and by the resource script alike:
// plain macros, which the resource compiler reads too.
#pragma once

#define TITLE_STRING_ID 103
#define CLASS_NAME_STRING_ID 109
#define TRAY_ICON_ID 107
#define SMALL_ICON_ID 108
#define SKIN_RESOURCE_ID 147
// The manifest of the activation context that binds GDI+ where the system
// folder has no copy (XP, Server 2003). Ids 1 to 16 are the loader's, and XP
// and Server 2003 refuse to load a program with two manifests in that range:
// the process is bound by id 1 alone, and this one lies above.
#define GDIPLUS_MANIFEST_ID 101
