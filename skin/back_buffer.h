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

// Starts GDI+ for the rest of the process, once its library is there (the
// window program loads it at run time); it is shut down when the process
// ends, after the drawing surface. False when GDI+ does not start. Nothing
// of GDI+ runs before this call.
bool startGdiplus();

// The system calls that make the buffer, replaceable by tests.
struct BackBufferCalls {
    HDC (*getDC)(HWND window);
    HDC (*createCompatibleDC)(HDC dc);
    HBITMAP (*createDIBSection)(const BITMAPINFO* info, void** bits);
    Gdiplus::GpStatus (*createGraphics)(HDC dc, Gdiplus::GpGraphics** graphics);
};
BackBufferCalls realBackBufferCalls();

// The buffer owns its GDI objects and the window's device context it holds
// for presenting: create takes them, destroy gives them all back when the
// window goes, and the buffer's end gives back whatever is still held. It
// is never copied.
struct BackBuffer {
    BackBufferCalls calls = realBackBufferCalls();
    Gdiplus::GpGraphics* graphics;
    HWND window; // the one windowDC belongs to
    HDC windowDC;
    HDC memoryDC;
    HBITMAP dib;
    HGDIOBJ previousBitmap;
    uint32_t* bits;
    int32_t width;
    int32_t height;
    // On a 16-byte boundary, where the fill writes it in blocks of 16 bytes.
    alignas(16) uint8_t blendTable[blendTableSize];

    BackBuffer() = default;
    ~BackBuffer();
    BackBuffer(const BackBuffer&) = delete;
    BackBuffer& operator=(const BackBuffer&) = delete;

    // False when the window's context, the memory context or the bitmap
    // cannot be had (the window would stay blank); what was made is given
    // back by destroy.
    bool create(HWND window);
    // Releases the buffer and the window's device context it holds; the
    // window is going.
    void destroy();
    void blendImage(int32_t x, int32_t y, const ImageRecord& record, float factor);
    // The same, changing no pixel outside clip.
    void blendImageClipped(int32_t x, int32_t y, const ImageRecord& record, float factor,
                           BlendClip clip);
    // One block transfer of the whole buffer to the window.
    void present();
};
