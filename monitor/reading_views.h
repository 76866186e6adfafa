// The readings written into the window's value views, once a second.
#pragma once

// formatDisplayTexts, then points the twelve value views at the texts with
// their colors.
void updateReadingViews();
