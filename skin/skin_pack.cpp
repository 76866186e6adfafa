#include "skin/skin_pack.h"
#include "monitor/notices.h"
#include "skin_pieces.h"

#include <fcntl.h>
#include <io.h>
#include <share.h>

#include <cstring>
#include <memory>
#include <new>

const char skinFolder[] = "skin";
const char skinArchivePath[] = "skin/imgTemp_";

namespace {

HRSRC findResource(HMODULE module, int id, const char* type) {
    return FindResourceA(module, MAKEINTRESOURCEA(id), type);
}
HGLOBAL loadResource(HMODULE module, HRSRC resource) {
    return LoadResource(module, resource);
}
FILE* openArchive(const char* path, const char* mode) {
    if (std::strcmp(mode, "w+b") != 0)
        return _fsopen(path, mode, _SH_DENYNO);
    // A file already there goes, and what is made is new: a link planted in
    // its place is removed, never written through. Shared with nobody until
    // it is closed.
    DeleteFileA(path);
    HANDLE file = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                              FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return nullptr;
    int descriptor = _open_osfhandle(reinterpret_cast<intptr_t>(file), _O_RDWR | _O_BINARY);
    if (descriptor < 0) {
        CloseHandle(file);
        return nullptr;
    }
    FILE* stream = _fdopen(descriptor, mode);
    if (!stream)
        _close(descriptor);
    return stream;
}
uint8_t* allocatePiece(uint32_t size) {
    return new (std::nothrow) uint8_t[size];
}

} // namespace

SkinSystemCalls realSkinSystemCalls() {
    return {findResource, loadResource, openArchive, allocatePiece};
}
SkinSystemCalls skinSystemCalls = realSkinSystemCalls();

FILE* extractSkin(HINSTANCE instance, HWND window) {
    const wchar_t cannotWrite[] =
        L"アーカイブファイルを作成出来ません\nディスク容量もしくは現在のフォルダが"
        L"書き込み禁止になっていないか確認して下さい";
    DWORD attributes = GetFileAttributesA(skinFolder);
    if (attributes == INVALID_FILE_ATTRIBUTES || !(attributes & FILE_ATTRIBUTE_DIRECTORY))
        CreateDirectoryA(skinFolder, nullptr);
    // A junction or link planted as "skin" would take the file elsewhere.
    attributes = GetFileAttributesA(skinFolder);
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
        showFailure(cannotWrite, window);
        return nullptr;
    }
    HRSRC resource = skinSystemCalls.findResource(instance, skinResourceId, "SKIN");
    if (!resource) {
        showFailure(L"アーカイブファイルを作成出来ません\nリソースが見つかりません", window);
        return nullptr;
    }
    HGLOBAL loaded = skinSystemCalls.loadResource(instance, resource);
    const void* bytes = loaded ? LockResource(loaded) : nullptr;
    if (!bytes) {
        showFailure(L"アーカイブファイルを作成出来ません\nリソースを読み込めません", window);
        return nullptr;
    }
    FILE* archive = skinSystemCalls.openArchive(skinArchivePath, "w+b");
    if (!archive) {
        showFailure(cannotWrite, window);
        return nullptr;
    }
    std::fwrite(bytes, SizeofResource(instance, resource), 1, archive);
    std::fflush(archive);
    return archive;
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
    DeleteFileA(skinArchivePath);
    Sleep(1);
    RemoveDirectoryA(skinFolder);
}
