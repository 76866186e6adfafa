// Parlex's resource ids, used by the code and by the resource script alike:
// plain macros, which the resource compiler reads too.
#pragma once

#define TITLE_STRING_ID 103
#define CLASS_NAME_STRING_ID 109
#define TRAY_ICON_ID 107
#define SMALL_ICON_ID 108
#define SKIN_RESOURCE_ID 147
// The manifest of the activation context that binds GDI+ where the system
// folder has no copy (XP, Server 2003). Id 3 is the one the system reserves
// for manifests that redirect no static import; the process itself is bound
// by id 1 alone.
#define GDIPLUS_MANIFEST_ID 3
