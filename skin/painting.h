// Painting the face. The back buffer keeps the last composed face; a paint
// composes again only the parts of it where something visible changed (an
// image swapped, a text rewritten), and a paint where nothing changed only
// presents the buffer. The pixels are those of composing the whole face.
#pragma once

#include "skin/back_buffer.h"
#include "skin/view.h"

#include <windows.h>

// Brings the back buffer up to date with root and its visible descendants,
// placing every view (absX, absY) as a whole draw does. Returns whether any
// pixel was composed.
bool composeFace(BackBuffer& buffer, View* root);
// The next composition takes the whole face: its views are about to go.
void forgetComposedFace();
// What the skin keeps for the whole process, as at start: no face composed,
// and views numbered from 0 again. The fonts, formats and brush that texts
// are drawn with stay until GDI+ shuts down.
void resetSkinState();
// WM_PAINT: compose what changed, then present the whole buffer.
void paintWindow(BackBuffer& buffer, HWND window, View* root);
