#include "skin/back_buffer.h"
#include "skin/blend.h"
#include "skin/text_objects.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

BackBuffer backBuffer;
// On a 16-byte boundary, where the fill writes it in blocks of 16 bytes.
alignas(16) uint8_t blendTable[blendTableSize];

namespace {

// GDI+ runs for the whole life of the process: started before the program's
// main routine, shut down after the drawing surface is gone.
struct GdiplusSession {
    ULONG_PTR token = 0;
    GdiplusSession() {
        GdiplusStartupInput input;
        GdiplusStartup(&token, &input, nullptr);
    }
    ~GdiplusSession() {
        releaseTextObjects();
        if (backBuffer.graphics) {
            GdipDeleteGraphics(backBuffer.graphics);
            backBuffer.graphics = nullptr;
        }
        if (token)
            GdiplusShutdown(token);
    }
};
GdiplusSession gdiplusSession;

} // namespace

void createBackBuffer(HWND window) {
    RECT rect;
    GetWindowRect(window, &rect);
    backBuffer.width = rect.right - rect.left;
    backBuffer.height = rect.bottom - rect.top;

    // The window's device context is held for presenting, and released with
    // the rest of the buffer when the window goes.
    backBuffer.windowDC = GetDC(window);
    backBuffer.memoryDC = CreateCompatibleDC(backBuffer.windowDC);
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = backBuffer.width;
    info.bmiHeader.biHeight = backBuffer.height; // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* bits = nullptr;
    backBuffer.dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
    backBuffer.bits = static_cast<uint32_t*>(bits);
    backBuffer.previousBitmap = SelectObject(backBuffer.memoryDC, backBuffer.dib);
    backBuffer.graphics = nullptr;
    if (GdipCreateFromHDC(backBuffer.memoryDC, &backBuffer.graphics) != Ok)
        backBuffer.graphics = nullptr;
    fillBlendTable(blendTable);
}

void destroyBackBuffer(HWND window) {
    if (backBuffer.graphics)
        GdipDeleteGraphics(backBuffer.graphics);
    if (backBuffer.memoryDC) {
        SelectObject(backBuffer.memoryDC, backBuffer.previousBitmap);
        DeleteDC(backBuffer.memoryDC);
    }
    if (backBuffer.dib)
        DeleteObject(backBuffer.dib);
    if (backBuffer.windowDC)
        ReleaseDC(window, backBuffer.windowDC);
    backBuffer = {};
}

void blendImage(int32_t x, int32_t y, const ImageRecord& record, float factor) {
    if (!backBuffer.bits)
        return;
    blendPixels(backBuffer.bits, backBuffer.width, backBuffer.height, x, y, record.pixels,
                record.width, record.height, factor, blendTable);
}

void blendImageClipped(int32_t x, int32_t y, const ImageRecord& record, float factor,
                       BlendClip clip) {
    if (!backBuffer.bits)
        return;
    blendPixelsClipped(backBuffer.bits, backBuffer.width, backBuffer.height, x, y, record.pixels,
                       record.width, record.height, factor, blendTable, clip);
}

void presentBackBuffer() {
    BitBlt(backBuffer.windowDC, 0, 0, backBuffer.width, backBuffer.height, backBuffer.memoryDC, 0,
           0, SRCCOPY);
}
