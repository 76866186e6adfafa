// The back buffer: one bottom-up 32-bit DIB section the size of the window,
// into which the whole face is composed before one block transfer to the
// window. Skin images are blended by table; text goes through GDI+.
#pragma once

#include "skin/blend.h"
#include "skin/image_record.h"

#include <windows.h>
// GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>

struct BackBuffer {
    Gdiplus::GpGraphics* graphics;
    HDC windowDC;
    HDC memoryDC;
    HBITMAP dib;
    HGDIOBJ previousBitmap;
    uint32_t* bits;
    int32_t width;
    int32_t height;
};

extern BackBuffer backBuffer;
extern uint8_t blendTable[];

void createBackBuffer(HWND window);
// Releases the buffer and the window's device context it holds; the window
// is going.
void destroyBackBuffer(HWND window);
void blendImage(int32_t x, int32_t y, const ImageRecord& record, float factor);
// The same, changing no pixel outside clip.
void blendImageClipped(int32_t x, int32_t y, const ImageRecord& record, float factor,
                       BlendClip clip);
// One block transfer of the whole buffer to the window.
void presentBackBuffer();
