// The skin: the blend table and blend, views (hit tests, image selection,
// failed images) and the skin pack.
#include "skin/back_buffer.h"
#include "skin/blend.h"
#include "skin/skin_pack.h"
#include "skin/view.h"
#include "files/held_folder.h"

#include "skin_pieces.h"
#include "temp_file.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace {

using enum ViewKind;
using enum ImageSelector;

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

std::string artPath(const char* name) {
    return std::string(ART_DIR) + "/" + name;
}

// --- views -------------------------------------------------------------------

class Views : public ::testing::Test {
  protected:
    std::vector<uint8_t> tray = readFile(artPath("3-tray.png")); // 26 x 22
    std::vector<uint8_t> pressed = readFile(artPath("4-tray-pressed.png"));
    std::vector<uint32_t> pixels = std::vector<uint32_t>(271 * 141, 0);
    static inline BackBuffer backBuffer; // its blend table is 16 MiB

    void SetUp() override {
        static bool tableFilled = false;
        if (!tableFilled) {
            fillBlendTable(backBuffer.blendTable);
            tableFilled = true;
        }
        backBuffer.bits = pixels.data();
        backBuffer.width = 271;
        backBuffer.height = 141;
        backBuffer.graphics = nullptr;
        backBuffer.composition = {};
    }
    void TearDown() override { backBuffer.bits = nullptr; }

    View* image(View* parent, int x, int y) {
        return new View({x, y}, parent, ViewKind::Image, tray.data(),
                        static_cast<uint32_t>(tray.size()));
    }
    View* text(View* parent, int x, int y) {
        View* view = new View({x, y}, parent, Text, nullptr, 0);
        view->width = view->height = 1;
        return view;
    }
    static void layOut(View* root) {
        // Hit tests use the positions of the last draw.
        root->draw(backBuffer);
    }
};

TEST_F(Views, LaterSerialWinsWhateverTheDepth) {
    View root({0, 0}, nullptr, ViewKind::Image, tray.data(), static_cast<uint32_t>(tray.size()));
    View* group = image(&root, 2, 2);
    View* deep = image(group, 1, 1); // created before the sibling below
    View* sibling = image(&root, 4, 4);
    View* deepest = image(deep, 0, 0); // created last, deepest
    layOut(&root);
    EXPECT_EQ(deepest, root.hitTest({6, 6}));
    deepest->visible = 0;
    EXPECT_EQ(sibling, root.hitTest({6, 6}));
    EXPECT_EQ(&root, root.hitTest({0, 0}));
    EXPECT_EQ(nullptr, root.hitTest({200, 100}));
    (void)group;
}

TEST_F(Views, BoundsAreInclusive) {
    View root({10, 20}, nullptr, ViewKind::Image, tray.data(), static_cast<uint32_t>(tray.size()));
    layOut(&root);
    EXPECT_EQ(&root, root.hitTest({10, 20}));
    EXPECT_EQ(&root, root.hitTest({10 + 26, 20 + 22})) << "w + 1 columns, h + 1 rows";
    EXPECT_EQ(nullptr, root.hitTest({10 + 27, 20}));
    EXPECT_EQ(nullptr, root.hitTest({9, 20}));
    View* label = text(&root, 5, 5);
    layOut(&root);
    EXPECT_EQ(label, root.hitTest({15, 25}));
    EXPECT_EQ(label, root.hitTest({16, 26})) << "a 1 x 1 text answers in 2 x 2 pixels";
    EXPECT_EQ(&root, root.hitTest({17, 26}));
}

TEST_F(Views, NoHitInvisibleParentsAndLines) {
    View root({0, 0}, nullptr, ViewKind::Image, tray.data(), static_cast<uint32_t>(tray.size()));
    View* cover = image(&root, 0, 0);
    cover->noHit = 1;
    layOut(&root);
    EXPECT_EQ(&root, root.hitTest({3, 3})) << "a noHit view is never the result";
    View* hidden = image(&root, 0, 0);
    View* child = image(hidden, 0, 0);
    hidden->visible = 0;
    layOut(&root);
    EXPECT_EQ(&root, root.hitTest({3, 3})) << "nor is any child of an invisible view";
    View* line = new View({0, 0}, &root, Line, nullptr, 0);
    line->width = line->height = 100;
    layOut(&root);
    EXPECT_EQ(&root, root.hitTest({3, 3}));
    (void)child;
}

// The poll asks a control whether the pointer is on it, whatever lies on top.
TEST_F(Views, AViewHoldsItsRectangleAlsoWhereAnotherWinsTheHitTest) {
    View root({0, 0}, nullptr, ViewKind::Image, tray.data(), static_cast<uint32_t>(tray.size()));
    View* cover = image(&root, 0, 0);
    layOut(&root);
    EXPECT_TRUE(cover == root.hitTest({1, 1}) && root.contains({1, 1}));
}

TEST_F(Views, SelectorChoosesTheImage) {
    View button({0, 0}, nullptr, ViewKind::Image, tray.data(), static_cast<uint32_t>(tray.size()));
    auto drawn = [&] {
        pixels.assign(pixels.size(), 0);
        button.draw(backBuffer);
        return pixels;
    };
    const std::vector<uint32_t> main = drawn();
    button.imageSelector = SelectorPressed;
    EXPECT_TRUE(drawn() == std::vector<uint32_t>(pixels.size(), 0))
        << "SelectorPressed without a pressed image draws nothing";
    button.loadPressedImage(pressed.data(), static_cast<uint32_t>(pressed.size()));
    const std::vector<uint32_t> pressedLook = drawn();
    EXPECT_FALSE(pressedLook == main);
    button.imageSelector = SelectorAuto;
    EXPECT_TRUE(drawn() == main);
    button.pressed = button.hovered = 1;
    EXPECT_TRUE(drawn() == pressedLook) << "pressed and hovered: the pressed image";
    button.imageSelector = SelectorHover;
    EXPECT_TRUE(drawn() == std::vector<uint32_t>(pixels.size(), 0)) << "no hover image";
}

TEST_F(Views, FailedMainImageTakesNoSerialAndPostsNothing) {
    View root({0, 0}, nullptr, ViewKind::Image, tray.data(), static_cast<uint32_t>(tray.size()));
    const int32_t next = root.nextSerial();
    const uint8_t garbage[] = {1, 2, 3, 4, 5, 6, 7, 8};
    View* broken = new View({0, 0}, &root, ViewKind::Image, garbage, sizeof garbage);
    EXPECT_FALSE(broken->attached());
    EXPECT_TRUE(root.children.empty()) << "not attached to its parent";
    MSG posted;
    EXPECT_FALSE(PeekMessageA(&posted, nullptr, 0, 0, PM_REMOVE)) << "the skin ends nothing";
    View* after = image(&root, 0, 0);
    EXPECT_EQ(next, after->serial) << "the next view gets the failed one's number";
    delete broken;
}

TEST_F(Views, DragToMovesOnlyDraggableViews) {
    View view({3, 4}, nullptr, ViewKind::Image, tray.data(), static_cast<uint32_t>(tray.size()));
    view.dragTo(50, 60);
    EXPECT_EQ(3, view.x);
    EXPECT_EQ(4, view.y);
}

// A buffer destroyed and made again holds none of the face, even where its
// pixels come back at the same address: the next composition takes it whole.
TEST_F(Views, ABufferMadeAgainComposesTheWholeFace) {
    View root({0, 0}, nullptr, ViewKind::Image, tray.data(), static_cast<uint32_t>(tray.size()));
    ASSERT_TRUE(backBuffer.compose(&root));
    backBuffer.destroy();
    std::fill(pixels.begin(), pixels.end(), 0);
    backBuffer.bits = pixels.data();
    backBuffer.width = 271;
    backBuffer.height = 141;
    EXPECT_TRUE(backBuffer.compose(&root));
    EXPECT_NE(std::vector<uint32_t>(pixels.size(), 0), pixels);
}

// --- the skin pack -------------------------------------------------------------

// Each piece of the skin, read without the system's codecs, has the pixels
// GDI+ gives it.
TEST(SkinImages, EachPieceReadDirectlyEqualsWhatGdiplusDecodes) {
    for (const char* name : skinPieceFiles) {
        std::vector<uint8_t> bytes = readFile(artPath(name));
        ImageRecord direct, gdiplus;
        decodeImage(bytes.data(), static_cast<uint32_t>(bytes.size()), direct, false);
        decodeImage(bytes.data(), static_cast<uint32_t>(bytes.size()), gdiplus, true);
        ASSERT_TRUE(direct.pixels && gdiplus.pixels && gdiplus.bitmap) << name;
        ASSERT_EQ(gdiplus.width, direct.width) << name;
        ASSERT_EQ(gdiplus.height, direct.height) << name;
        EXPECT_EQ(gdiplus.stride, direct.stride) << name;
        EXPECT_EQ(0, std::memcmp(gdiplus.pixels, direct.pixels,
                                 static_cast<size_t>(direct.width) * direct.height * 4))
            << name;
        direct.release();
        gdiplus.release();
    }
}

class SkinArchive : public ::testing::Test {
  protected:
    std::vector<uint8_t> pack = readFile(SKIN_PACK_PATH);
    std::string archivePath;
    ::SkinPack skin;

    void SetUp() override {
        archivePath = tempFile("skn");
    }
    void TearDown() override { DeleteFileA(archivePath.c_str()); }
    ::SkinPack packOn(FILE* archive) const {
        ::SkinPack pack;
        pack.calls = skin.calls;
        pack.archive.reset(archive);
        return pack;
    }
    FILE* archiveOf(const std::vector<uint8_t>& bytes) {
        std::ofstream(archivePath, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return std::fopen(archivePath.c_str(), "rb");
    }
};

// The archive is made anew in the held folder over whatever had its name, and
// nobody else can open it until it is closed, which deletes it. The folder
// cannot be moved while it is held, and goes through its handle.
TEST_F(SkinArchive, TheArchiveIsNewHeldAndGoesWithItsHandle) {
    const std::string folder = archivePath + ".dir", inside = folder + "\\imgTemp_";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    std::ofstream(inside, std::ios::binary) << "someone else's bytes";
    HeldFolder held =
        holdFolder(std::wstring(folder.begin(), folder.end()).c_str(), FolderUse::own);
    ASSERT_TRUE(held.held());
    EXPECT_FALSE(MoveFileA(folder.c_str(), (folder + "2").c_str())) << "held against moving";
    FILE* archive = skin.calls.createArchive(held.get());
    ASSERT_TRUE(archive);
    std::fputs("ours", archive);
    std::fflush(archive);
    HANDLE other = CreateFileA(inside.c_str(), GENERIC_READ,
                               FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                               OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    EXPECT_EQ(INVALID_HANDLE_VALUE, other);
    EXPECT_EQ(static_cast<DWORD>(ERROR_SHARING_VIOLATION), GetLastError());
    if (other != INVALID_HANDLE_VALUE)
        CloseHandle(other);
    std::rewind(archive);
    char back[16] = {};
    EXPECT_EQ(4u, std::fread(back, 1, sizeof back, archive)) << "read back through the same handle";
    EXPECT_STREQ("ours", back);
    std::fclose(archive);
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(inside.c_str())) << "deleted on close";
    held.remove();
    EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesA(folder.c_str()));
    RemoveDirectoryA((folder + "2").c_str());
}

// A leftover archive never blocks the start: one left read-only, and one still
// open elsewhere with its deletion pending (an indexer or a scanner), which
// lets it go a little later.
TEST_F(SkinArchive, ALeftoverArchiveNeverBlocks) {
    const std::string folder = archivePath + ".dir", inside = folder + "\\imgTemp_";
    ASSERT_TRUE(CreateDirectoryA(folder.c_str(), nullptr));
    HeldFolder held =
        holdFolder(std::wstring(folder.begin(), folder.end()).c_str(), FolderUse::own);
    std::ofstream(inside, std::ios::binary) << "left by a crash";
    ASSERT_TRUE(SetFileAttributesA(inside.c_str(), FILE_ATTRIBUTE_READONLY));
    FILE* archive = skin.calls.createArchive(held.get());
    EXPECT_TRUE(archive) << "read-only";
    if (archive)
        std::fclose(archive);
    static HANDLE scanner;
    scanner = CreateFileA(inside.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                          nullptr, CREATE_NEW, FILE_FLAG_DELETE_ON_CLOSE, nullptr);
    ASSERT_NE(INVALID_HANDLE_VALUE, scanner);
    std::thread letGo([] {
        Sleep(300);
        CloseHandle(scanner);
    });
    archive = skin.calls.createArchive(held.get());
    EXPECT_TRUE(archive) << "pending deletion";
    if (archive)
        std::fclose(archive);
    letGo.join();
    held.remove();
    RemoveDirectoryA(folder.c_str());
}

TEST_F(SkinArchive, StoredBytesAreImageBytesPlusOne) {
    EXPECT_EQ(0xFF, restoreSkinByte(0x00));
    EXPECT_EQ(0x00, restoreSkinByte(0x01));
    EXPECT_EQ(0xFE, restoreSkinByte(0xFF));
    uint32_t total = 0;
    for (uint32_t size : skinPieceSizes)
        total += size;
    EXPECT_EQ(skinPackSize, total);
    EXPECT_EQ(skinPackSize, pack.size());
}

TEST_F(SkinArchive, EachPieceReadAtItsOffsetWhateverWasReadBefore) {
    const ::SkinPack opened = packOn(archiveOf(pack));
    ASSERT_TRUE(opened.archive);
    for (int piece : {8, 0, 5, 8, 1, 2, 3, 4, 6, 7}) {
        std::unique_ptr<uint8_t[]> bytes(readSkinPiece(opened, piece));
        std::vector<uint8_t> expected = readFile(artPath(skinPieceFiles[piece]));
        ASSERT_EQ(expected.size(), skinPieceSizes[piece]);
        EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bytes.get())) << piece;
    }
    EXPECT_EQ(skinPackSize - skinPieceSizes[8], skinPieceOffset(8));
}

TEST_F(SkinArchive, ShortArchiveLeavesRestoredFillerAndThePieceFails) {
    std::vector<uint8_t> shortPack(pack.begin(), pack.begin() + skinPieceSizes[0] / 2);
    const ::SkinPack opened = packOn(archiveOf(shortPack));
    std::unique_ptr<uint8_t[]> bytes(readSkinPiece(opened, 0));
    EXPECT_EQ(0x2F, bytes[skinPieceSizes[0] - 1]);
    EXPECT_EQ(0x2F, bytes[skinPieceSizes[0] / 2]);
    View* place = reinterpret_cast<View*>(1);
    EXPECT_EQ(PieceOutcome::undecodable, loadSkinPiece(opened, 0, &place, 0, 0, nullptr, false));
    EXPECT_EQ(nullptr, place) << "the undecodable view is freed, not kept";
}

TEST_F(SkinArchive, ExtractionFailuresGiveTheirTexts) {
    std::vector<std::wstring> failures;
    auto extract = [&] {
        SkinExtraction extraction = extractSkin(skin, GetModuleHandleA(nullptr), 147, L"skin");
        EXPECT_FALSE(extraction.archive);
        failures.push_back(extraction.failure);
    };
    skin.calls.findResource = [](HMODULE, int, const char*) -> HRSRC { return nullptr; };
    extract();
    skin.calls = realSkinSystemCalls();
    skin.calls.findResource = [](HMODULE, int, const char*) { return reinterpret_cast<HRSRC>(1); };
    skin.calls.loadResource = [](HMODULE, HRSRC) -> HGLOBAL { return nullptr; };
    extract();
    // Made, but refusing the bytes, as on a full disk.
    static const char bytes[] = "pack";
    skin.calls.loadResource = [](HMODULE, HRSRC) { return HGLOBAL(bytes); };
    skin.calls.resourceSize = [](HMODULE, HRSRC) { return DWORD(sizeof bytes); };
    static const std::string* readOnly = &archivePath;
    skin.calls.createArchive = [](HANDLE) { return std::fopen(readOnly->c_str(), "rb"); };
    extract();
    removeSkinFiles(skin);
    std::vector<std::wstring> expected = {
        L"アーカイブファイルを作成出来ません\nリソースが見つかりません",
        L"アーカイブファイルを作成出来ません\nリソースを読み込めません",
        L"アーカイブファイルを作成出来ません\nディスク容量もしくは現在のフォルダが"
        L"書き込み禁止になっていないか確認して下さい"};
    EXPECT_EQ(expected, failures);
}

} // namespace
