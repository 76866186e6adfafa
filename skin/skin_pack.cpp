#include "skin/skin_pack.h"

#include "skin_pieces.h"

#include <fcntl.h>
#include <io.h>

#include <cstring>
#include <memory>
#include <new>

namespace {

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
    return {.findResource = findResource,
            .loadResource = loadResource,
            .resourceSize = resourceSize,
            .createArchive = createArchive,
            .allocatePiece = allocatePiece};
}
SkinExtraction extractSkin(SkinPack& pack, HINSTANCE instance, int resourceId,
                           const wchar_t* folderPath) {
    const wchar_t* cannotWrite =
        L"アーカイブファイルを作成出来ません\nディスク容量もしくは現在のフォルダが"
        L"書き込み禁止になっていないか確認して下さい";
    removeSkinFiles(pack);
    // A junction or link planted as "skin" would take the archive elsewhere.
    pack.folder = holdFolder(folderPath, FolderUse::own);
    if (!pack.folder.held())
        return {nullptr, cannotWrite};
    HRSRC resource = pack.calls.findResource(instance, resourceId, "SKIN");
    if (!resource)
        return {nullptr, L"アーカイブファイルを作成出来ません\nリソースが見つかりません"};
    HGLOBAL loaded = pack.calls.loadResource(instance, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes)
        return {nullptr, L"アーカイブファイルを作成出来ません\nリソースを読み込めません"};
    pack.archive.reset(pack.calls.createArchive(pack.folder.get()));
    FILE* archive = pack.archive.get();
    if (!archive)
        return {nullptr, cannotWrite};
    // A full disk or an exhausted quota fails here rather than at creation.
    const DWORD size = pack.calls.resourceSize(instance, resource);
    if (std::fwrite(bytes, size, 1, archive) != 1 || std::fflush(archive) != 0)
        return {nullptr, cannotWrite};
    return {archive, nullptr};
}

uint8_t* readSkinPiece(const SkinPack& pack, int piece) {
    uint8_t* buffer = pack.calls.allocatePiece(skinPieceSizes[piece]);
    if (buffer)
        readSkinPieceInto(piece, pack.archive.get(), buffer);
    return buffer;
}

PieceOutcome loadSkinPiece(const SkinPack& pack, int piece, View** place, int x, int y,
                           View* parent, bool asPressed) {
    const uint32_t size = skinPieceSizes[piece];
    std::unique_ptr<uint8_t[]> buffer(readSkinPiece(pack, piece));
    if (!buffer)
        return PieceOutcome::outOfMemory;
    if (asPressed) {
        if (!*place)
            return PieceOutcome::made;
        (*place)->loadPressedImage(buffer.get(), size);
        return (*place)->pressedImage.pixels ? PieceOutcome::made : PieceOutcome::undecodable;
    }
    std::unique_ptr<View> view(new (std::nothrow)
                                   View({x, y}, parent, ViewKind::Image, buffer.get(), size));
    if (!view)
        return PieceOutcome::outOfMemory;
    // An attached view belongs to its parent, or without one to the caller;
    // one that is not attached goes here.
    if (!view->attached()) {
        *place = nullptr;
        return PieceOutcome::undecodable;
    }
    *place = view.release();
    return PieceOutcome::made;
}

void removeSkinFiles(SkinPack& pack) {
    if (pack.archive) {
        pack.archive.reset();
        Sleep(1);
    }
    pack.folder.remove();
}
