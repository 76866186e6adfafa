// Repainting the window when something on its face has changed.
#pragma once

// Invalidates the whole window without erasing and paints it at once, unless
// the face would come out the same.
void requestRepaint();
