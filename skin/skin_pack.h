// The skin pack: nine images carried as resource "SKIN" 147, each stored
// byte the image byte + 1. At start-up it is written to "skin/imgTemp_" and
// read back piece by piece while the views are built.
#pragma once

#include "skin/pack_reader.h"
#include "skin/view.h"
#include "files/held_folder.h"
#include "system/owned.h"

#include <cstdint>
#include <cstdio>

inline constexpr char skinFolder[] = "skin";
inline constexpr char skinArchivePath[] = "skin/imgTemp_";

// The system calls of extraction, replaceable by tests.
struct SkinSystemCalls {
    HRSRC (*findResource)(HMODULE module, int id, const char* type);
    HGLOBAL (*loadResource)(HMODULE module, HRSRC resource);
    DWORD (*resourceSize)(HMODULE module, HRSRC resource);
    // The archive, new in the held skin folder, open for this process alone
    // and deleted when it is closed; null when it cannot be made.
    FILE* (*createArchive)(HANDLE folder);
    // The buffer of one piece; null when memory runs out.
    uint8_t* (*allocatePiece)(uint32_t size);
};
SkinSystemCalls realSkinSystemCalls();

// A C file, closed by its holder. The library's fclose is called, not named
// as a template argument: the address of a standard library function is not
// one a program may take.
inline void closeStream(std::FILE* stream) {
    std::fclose(stream);
}
using OwnedStream = Owned<std::FILE*, closeStream>;

// The extracted pack, from extraction to clean-up: the system calls it uses,
// the folder held against moving, and the archive in it, which goes with its
// handle. Both are closed by their holders, whichever way the pack ends.
struct SkinPack {
    SkinSystemCalls calls = realSkinSystemCalls();
    HeldFolder folder;
    OwnedStream archive;
};

// The archive, still open and held by the pack, or null and the text of the
// failure.
struct SkinExtraction {
    FILE* archive;
    const wchar_t* failure;
};

// Writes the pack, resource resourceId of type "SKIN", to "imgTemp_" in the
// folder at folderPath (the program's "skin", made when missing) and returns
// it still open, so that nobody can change or swap it; it stays open, and the
// folder held, until removeSkinFiles. Fails also when the folder is a
// junction or symbolic link.
SkinExtraction extractSkin(SkinPack& pack, HINSTANCE instance, int resourceId,
                           const wchar_t* folderPath);

// Piece n as read from the pack's archive and restored, in a buffer from
// allocatePiece (freed with delete[]); bytes the archive does not have stay
// 0x30, restored to 0x2F. Null when memory runs out.
uint8_t* readSkinPiece(const SkinPack& pack, int piece);

// What became of a skin piece.
enum class PieceOutcome { made, undecodable, outOfMemory };

// Reads piece n from the pack's archive and makes an Image view of it at
// (x, y) under parent, which owns it, stored in *place (without a parent the
// caller owns it); with asPressed, gives it to the view in *place as its
// pressed image instead. A view whose image does not decode is freed and
// *place left empty.
PieceOutcome loadSkinPiece(const SkinPack& pack, int piece, View** place, int x, int y,
                           View* parent, bool asPressed);

// Closes the archive, which deletes it, and removes the folder through its
// handle when nothing else is in it. Does nothing where nothing is held.
void removeSkinFiles(SkinPack& pack);
