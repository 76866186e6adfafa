#include "skin/image_record.h"

#include "skin/png_reader.h"
#include "system/owned.h"

#include <cstring>
#include <new>
#include <utility>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

void ImageRecord::release() {
    delete[] pixels;
    pixels = nullptr;
    if (bitmap)
        GdipDisposeImage(bitmap);
    bitmap = nullptr;
    width = height = 0;
    bytesPerPixel = stride = 0;
}

namespace {

// Hands pixels of width x height, stride bytes a row, to record.
void adopt(ImageRecord& record, uint8_t* pixels, int32_t width, int32_t height, uint32_t stride) {
    record.release();
    record.pixels = pixels;
    record.width = width;
    record.height = height;
    record.stride = stride;
    record.bytesPerPixel = stride / static_cast<uint32_t>(width);
}

// The skin's own images, read without loading the system's codecs.
bool decodePng(const uint8_t* bytes, uint32_t count, ImageRecord& record) {
    PngPixels image;
    if (!readPng(bytes, count, image))
        return false;
    auto pixels = new (std::nothrow) uint8_t[image.bgra.size()];
    if (!pixels)
        return false;
    std::memcpy(pixels, image.bgra.data(), image.bgra.size());
    adopt(record, pixels, image.width, image.height, static_cast<uint32_t>(image.width) * 4);
    return true;
}

void releaseStream(IStream* stream) {
    stream->Release();
}
void disposeBitmap(GpBitmap* bitmap) {
    GdipDisposeImage(bitmap);
}

} // namespace

void decodeImage(const uint8_t* bytes, uint32_t count, ImageRecord& record, bool keepBitmap) {
    if (!bytes || count == 0)
        return;
    if (!keepBitmap && decodePng(bytes, count, record))
        return;
    // What decoding through GDI+ holds is released by its holder, whichever
    // way decoding ends.
    Owned<HGLOBAL, GlobalFree> block(GlobalAlloc(GMEM_MOVEABLE, count));
    void* memory = block ? GlobalLock(block.get()) : nullptr;
    if (!memory)
        return;
    std::memcpy(memory, bytes, count);
    GlobalUnlock(block.get());
    Owned<IStream*, releaseStream> stream;
    if (CreateStreamOnHGlobal(block.get(), TRUE, stream.put()) != S_OK)
        return;
    block.release(); // the stream frees it now
    Owned<GpBitmap*, disposeBitmap> bitmap;
    if (GdipCreateBitmapFromStream(stream.get(), bitmap.put()) != Ok || !bitmap)
        return;
    UINT width = 0, height = 0;
    GdipGetImageWidth(bitmap.get(), &width);
    GdipGetImageHeight(bitmap.get(), &height);
    GpRect whole(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    BitmapData locked = {};
    if (width == 0 || height == 0 ||
        GdipBitmapLockBits(bitmap.get(), &whole, ImageLockModeRead, PixelFormat32bppARGB,
                           &locked) != Ok)
        return;
    auto pixels = new (std::nothrow) uint8_t[static_cast<size_t>(width) * height * 4];
    if (pixels) {
        for (UINT row = 0; row < height; ++row)
            std::memcpy(pixels + static_cast<size_t>(row) * width * 4,
                        static_cast<uint8_t*>(locked.Scan0) +
                            static_cast<ptrdiff_t>(row) * locked.Stride,
                        static_cast<size_t>(width) * 4);
    }
    GdipBitmapUnlockBits(bitmap.get(), &locked);
    if (!pixels)
        return;
    adopt(record, pixels, static_cast<int32_t>(width), static_cast<int32_t>(height),
          static_cast<uint32_t>(locked.Stride));
    if (keepBitmap)
        record.bitmap = bitmap.release();
}
