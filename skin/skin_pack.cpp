#include "skin/skin_pack.h"
#include "skin/held_folder.h"
#include "skin_pieces.h"

#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <memory>
#include <new>

const char skinFolder[] = "skin";
const char skinArchivePath[] = "skin/imgTemp_";

namespace {

// From extraction to clean-up: the folder, held against moving, and the
// archive in it, which goes with its handle.
HANDLE heldSkinFolder = INVALID_HANDLE_VALUE;
FILE* heldArchive;

HRSRC findResource(HMODULE module, int id, const char* type) {
    return FindResourceA(module, MAKEINTRESOURCEA(id), type);
}
HGLOBAL loadResource(HMODULE module, HRSRC resource) {
    return LoadResource(module, resource);
}
DWORD resourceSize(HMODULE module, HRSRC resource) {
    return SizeofResource(module, resource);
}
FILE* createArchive(HANDLE folder) {
    HANDLE file = createFileInHeld(folder, L"imgTemp_");
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(file);
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, "w+b");
    if (!stream)
        _close(descriptor);
    return stream;
}
uint8_t* allocatePiece(uint32_t size) {
    return new (std::nothrow) uint8_t[size];
}

} // namespace

SkinSystemCalls realSkinSystemCalls() {
    return {findResource, loadResource, resourceSize, createArchive, allocatePiece};
}
SkinSystemCalls skinSystemCalls = realSkinSystemCalls();

SkinExtraction extractSkin(HINSTANCE instance, int resourceId) {
    const wchar_t* cannotWrite =
        L"アーカイブファイルを作成出来ません\nディスク容量もしくは現在のフォルダが"
        L"書き込み禁止になっていないか確認して下さい";
    removeSkinFiles();
    // A junction or link planted as "skin" would take the archive elsewhere.
    heldSkinFolder = holdFolder(L"skin");
    if (heldSkinFolder == INVALID_HANDLE_VALUE)
        return {nullptr, cannotWrite};
    HRSRC resource = skinSystemCalls.findResource(instance, resourceId, "SKIN");
    if (!resource)
        return {nullptr, L"アーカイブファイルを作成出来ません\nリソースが見つかりません"};
    HGLOBAL loaded = skinSystemCalls.loadResource(instance, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        return {nullptr, L"アーカイブファイルを作成出来ません\nリソースを読み込めません"};
    heldArchive = skinSystemCalls.createArchive(heldSkinFolder);
    if (!heldArchive)
        return {nullptr, cannotWrite};
    // A full disk or an exhausted quota fails here rather than at creation.
    const DWORD size = skinSystemCalls.resourceSize(instance, resource);
    if (std::fwrite(bytes, size, 1, heldArchive) != 1 || std::fflush(heldArchive) != 0)
        return {nullptr, cannotWrite};
    return {heldArchive, nullptr};
}

uint8_t* readSkinPiece(int piece, FILE* archive) {
    uint8_t* buffer = skinSystemCalls.allocatePiece(skinPieceSizes[piece]);
    if (buffer)
        readSkinPieceInto(piece, archive, buffer);
    return buffer;
}

bool loadSkinPiece(int piece, View** place, FILE* archive, int x, int y, View* parent,
                   bool asPressed) {
    const uint32_t size = skinPieceSizes[piece];
    std::unique_ptr<uint8_t[]> buffer(readSkinPiece(piece, archive));
    if (!buffer)
        return false;
    if (asPressed) {
        if (*place)
            (*place)->loadPressedImage(buffer.get(), size);
        return true;
    }
    View* view = new (std::nothrow) View({x, y}, parent, Image, buffer.get(), size);
    if (!view)
        return false;
    if (!view->attached()) {
        // Its parent never took it, so nobody else would delete it.
        delete view;
        view = nullptr;
    }
    *place = view;
    return true;
}

void removeSkinFiles() {
    if (heldArchive) {
        std::fclose(heldArchive);
        heldArchive = nullptr;
        Sleep(1);
    }
    removeHeldFolder(heldSkinFolder);
    heldSkinFolder = INVALID_HANDLE_VALUE;
}
