// A decoded skin image, as the views keep it and the back buffer blends it.
#pragma once

#include <windows.h>
// GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>
#include <gdiplus.h>

#include <cstdint>

// Straight-alpha BGRA pixels, rows top to bottom.
struct ImageRecord {
    uint8_t* pixels = nullptr;
    Gdiplus::GpBitmap* bitmap = nullptr; // kept only for a Picture's main image
    int32_t width = 0;
    int32_t height = 0;
    uint32_t bytesPerPixel = 0;
    uint32_t stride = 0;

    ImageRecord() = default;
    // The record frees what it holds.
    ~ImageRecord() { release(); }
    // A copy would share the pixels, and both would free them.
    ImageRecord(const ImageRecord&) = delete;
    ImageRecord& operator=(const ImageRecord&) = delete;

    void release();
};

// Decodes bytes that GDI+ recognises into record; leaves it unchanged on failure.
// The skin's plain PNG images are read directly, the rest through GDI+.
void decodeImage(const uint8_t* bytes, uint32_t count, ImageRecord& record, bool keepBitmap);
