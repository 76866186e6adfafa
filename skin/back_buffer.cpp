#include "skin/back_buffer.h"

#include "skin/blend.h"
#include "skin/text_objects.h"

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// The buffer that holds a GDI+ surface, if any: GDI+'s shutdown deletes the
// surface first.
BackBuffer* liveBuffer;

// GDI+ runs from startGdiplus to the end of the process: shut down after the
// program's main routine, once the drawing surface is gone.
struct GdiplusSession {
    ULONG_PTR token = 0;
    ~GdiplusSession() {
        if (!token)
            return;
        releaseTextObjects();
        if (liveBuffer && liveBuffer->graphics) {
            GdipDeleteGraphics(liveBuffer->graphics);
            liveBuffer->graphics = nullptr;
        }
        GdiplusShutdown(token);
    }
};
GdiplusSession gdiplusSession;

} // namespace

bool startGdiplus() {
    if (gdiplusSession.token)
        return true;
    GdiplusStartupInput input;
    return GdiplusStartup(&gdiplusSession.token, &input, nullptr) == Ok;
}

BackBufferCalls realBackBufferCalls() {
    return {.getDC = [](HWND window) { return GetDC(window); },
            .createCompatibleDC = [](HDC dc) { return CreateCompatibleDC(dc); },
            .createDIBSection =
                [](const BITMAPINFO* info, void** bits) {
                    return CreateDIBSection(nullptr, info, DIB_RGB_COLORS, bits, nullptr, 0);
                },
            .createGraphics =
                [](HDC dc, GpGraphics** graphics) { return GdipCreateFromHDC(dc, graphics); }};
}

bool BackBuffer::create(HWND target) {
    // A buffer made again gives back what it held before.
    destroy();
    liveBuffer = this;
    window = target;
    RECT rect;
    GetWindowRect(window, &rect);
    width = rect.right - rect.left;
    height = rect.bottom - rect.top;

    // The window's device context is held for presenting, and released with
    // the rest of the buffer when the window goes.
    windowDC = calls.getDC(window);
    memoryDC = windowDC ? calls.createCompatibleDC(windowDC) : nullptr;
    if (!memoryDC)
        return false;
    BITMAPINFO info = {};
    info.bmiHeader.biSize = sizeof info.bmiHeader;
    info.bmiHeader.biWidth = width;
    info.bmiHeader.biHeight = height; // bottom-up
    info.bmiHeader.biPlanes = 1;
    info.bmiHeader.biBitCount = 32;
    info.bmiHeader.biCompression = BI_RGB;
    void* pixels = nullptr;
    dib = calls.createDIBSection(&info, &pixels);
    if (!dib)
        return false;
    bits = static_cast<uint32_t*>(pixels);
    previousBitmap = SelectObject(memoryDC, dib);
    // Without graphics the window would show no text at all.
    graphics = nullptr;
    if (calls.createGraphics(memoryDC, &graphics) != Ok) {
        graphics = nullptr;
        return false;
    }
    fillBlendTable(blendTable);
    return true;
}

BackBuffer::~BackBuffer() {
    destroy();
}

void BackBuffer::destroy() {
    if (graphics)
        GdipDeleteGraphics(graphics);
    if (memoryDC) {
        SelectObject(memoryDC, previousBitmap);
        DeleteDC(memoryDC);
    }
    if (dib)
        DeleteObject(dib);
    if (windowDC)
        ReleaseDC(window, windowDC);
    graphics = nullptr;
    window = nullptr;
    windowDC = memoryDC = nullptr;
    dib = nullptr;
    previousBitmap = nullptr;
    bits = nullptr;
    width = height = 0;
    composition = {};
    if (liveBuffer == this)
        liveBuffer = nullptr;
}

void BackBuffer::blendImage(int32_t x, int32_t y, const ImageRecord& record, float factor) {
    if (!bits)
        return;
    blendPixels(bits, width, height, x, y, record.pixels, record.width, record.height, factor,
                blendTable);
}

void BackBuffer::blendImageClipped(int32_t x, int32_t y, const ImageRecord& record, float factor,
                                   BlendClip clip) {
    if (!bits)
        return;
    blendPixelsClipped(bits, width, height, x, y, record.pixels, record.width, record.height,
                       factor, blendTable, clip);
}

void BackBuffer::present() {
    BitBlt(windowDC, 0, 0, width, height, memoryDC, 0, 0, SRCCOPY);
}
