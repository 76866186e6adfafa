// Painting the face. The back buffer keeps the last composed face; a paint
// composes again only the parts of it where something visible changed, and a
// paint where nothing changed only presents the buffer.
#pragma once

#include "skin/back_buffer.h"
#include "skin/view.h"

#include <windows.h>

// WM_PAINT: compose what changed, then present the whole buffer.
void paintWindow(BackBuffer& buffer, HWND window, View* root);
