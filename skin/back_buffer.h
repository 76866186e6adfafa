// The back buffer: one bottom-up 32-bit DIB section the size of the window,
// into which the whole face is composed before one block transfer to the
// window. Skin images are blended by table; text goes through GDI+.
#pragma once

#include "skin/blend.h"
#include "skin/image_record.h"
#include "skin/text_objects.h"

#include <windows.h>
// GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>
#include <string>
#include <vector>

class View;

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

// What a view drew at the last composition, and the pixels it may have touched.
struct ComposedView {
    View* view = nullptr;
    int32_t x = 0, y = 0;
    const uint8_t* pixels = nullptr;
    int32_t width = 0, height = 0;
    float alpha = 1.0f;
    std::wstring text, family;
    int32_t points = 0;
    FontStyle style = FontStyle::regular;
    TextAlign align = TextAlign::start;
    uint32_t color = 0;
    BlendClip extent = {0, 0, 0, 0};
};

// The face the buffer holds. A buffer starts with none, and destroy forgets
// it with the pixels: the next composition then takes the whole face.
struct Composition {
    // Every view composed, in drawing order.
    std::vector<ComposedView> drawn;
    // The pixels composed into; pixels elsewhere hold none of the face.
    const uint32_t* bits = nullptr;
    // The work of one composition, kept for its room so that a paint
    // allocates nothing.
    std::vector<View*> order;
    std::vector<BlendClip> dirty;
};

// The buffer owns its GDI objects and the window's device context it holds
// for presenting: create takes them, destroy gives them all back when the
// window goes, and the buffer's end gives back whatever is still held. It
// is never copied.
struct BackBuffer {
    BackBufferCalls calls = realBackBufferCalls();
    Gdiplus::GpGraphics* graphics = nullptr;
    HWND window = nullptr; // the one windowDC belongs to
    HDC windowDC = nullptr;
    HDC memoryDC = nullptr;
    HBITMAP dib = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    uint32_t* bits = nullptr;
    int32_t width = 0;
    int32_t height = 0;
    // On a 16-byte boundary, where the fill writes it in blocks of 16 bytes.
    alignas(16) uint8_t blendTable[blendTableSize];
    Composition composition;

    BackBuffer() = default;
    ~BackBuffer();
    BackBuffer(const BackBuffer&) = delete;
    BackBuffer& operator=(const BackBuffer&) = delete;

    // False when the window's context, the memory context or the bitmap
    // cannot be had (the window would stay blank); what was made is given
    // back by destroy.
    bool create(HWND window);
    // Releases the buffer and the window's device context it holds, and
    // forgets the face composed in it; the window is going.
    void destroy();
    // Brings the buffer up to date with root and its visible descendants,
    // placing every view (absX, absY) as a whole draw does. Only the parts
    // where something visible changed (an image swapped, a text rewritten)
    // are composed again, and the pixels are those of composing the whole
    // face. Returns whether any pixel was composed.
    bool compose(View* root);
    void blendImage(int32_t x, int32_t y, const ImageRecord& record, float factor);
    // The same, changing no pixel outside clip.
    void blendImageClipped(int32_t x, int32_t y, const ImageRecord& record, float factor,
                           BlendClip clip);
    // One block transfer of the whole buffer to the window.
    void present();
};
