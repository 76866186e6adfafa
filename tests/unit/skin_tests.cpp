// The skin: the blend table and blend, views (hit tests, image selection,
// failed images), the skin pack and the start-up failures of the face.
#include "monitor/app_state.h"
#include "monitor/notices.h"
#include "sampling/gpu_readings.h"
#include "sampling/sampling_thread.h"
#include "skin/back_buffer.h"
#include "skin/blend.h"
#include "files/held_folder.h"
#include "monitor/face.h"
#include "monitor/reading_views.h"
#include "skin/painting.h"
#include "skin/skin_pack.h"
#include "skin/text_objects.h"
#include "skin_pieces.h"

#include <gtest/gtest.h>

#include <psapi.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>
#include <utility>
#include <memory>
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

    void SetUp() override {
        static bool tableFilled = false;
        if (!tableFilled) {
            fillBlendTable(parlex.backBuffer.blendTable);
            tableFilled = true;
        }
        parlex.backBuffer.bits = pixels.data();
        parlex.backBuffer.width = 271;
        parlex.backBuffer.height = 141;
        parlex.backBuffer.graphics = nullptr;
    }
    void TearDown() override { parlex.backBuffer.bits = nullptr; }

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
        root->draw(parlex.backBuffer);
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
        button.draw(parlex.backBuffer);
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
    ASSERT_TRUE(parlex.backBuffer.compose(&root));
    parlex.backBuffer.destroy();
    std::fill(pixels.begin(), pixels.end(), 0);
    SetUp();
    EXPECT_TRUE(parlex.backBuffer.compose(&root));
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
    std::vector<std::wstring> messages;
    static std::vector<std::wstring>* recorder;

    void SetUp() override {
        char folder[MAX_PATH] = {};
        GetTempPathA(MAX_PATH, folder);
        char path[MAX_PATH] = {};
        GetTempFileNameA(folder, "skn", 0, path);
        archivePath = path;
        recorder = &messages;
        parlex.calls.showMessageBox = [](HWND, const wchar_t* text) { recorder->push_back(text); };
    }
    void TearDown() override { DeleteFileA(archivePath.c_str()); }
    static ::SkinPack packOn(FILE* archive) {
        ::SkinPack pack;
        pack.calls = parlex.skin.calls;
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
std::vector<std::wstring>* SkinArchive::recorder;

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
    FILE* archive = parlex.skin.calls.createArchive(held.get());
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
    FILE* archive = parlex.skin.calls.createArchive(held.get());
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
    archive = parlex.skin.calls.createArchive(held.get());
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
        SkinExtraction extraction =
            extractSkin(parlex.skin, GetModuleHandleA(nullptr), 147, L"skin");
        EXPECT_FALSE(extraction.archive);
        failures.push_back(extraction.failure);
    };
    parlex.skin.calls.findResource = [](HMODULE, int, const char*) -> HRSRC { return nullptr; };
    extract();
    parlex.skin.calls = realSkinSystemCalls();
    parlex.skin.calls.findResource = [](HMODULE, int, const char*) {
        return reinterpret_cast<HRSRC>(1);
    };
    parlex.skin.calls.loadResource = [](HMODULE, HRSRC) -> HGLOBAL { return nullptr; };
    extract();
    // Made, but refusing the bytes, as on a full disk.
    static const char bytes[] = "pack";
    parlex.skin.calls.loadResource = [](HMODULE, HRSRC) { return HGLOBAL(bytes); };
    parlex.skin.calls.resourceSize = [](HMODULE, HRSRC) { return DWORD(sizeof bytes); };
    static const std::string* readOnly = &archivePath;
    parlex.skin.calls.createArchive = [](HANDLE) { return std::fopen(readOnly->c_str(), "rb"); };
    extract();
    removeSkinFiles(parlex.skin);
    std::vector<std::wstring> expected = {
        L"アーカイブファイルを作成出来ません\nリソースが見つかりません",
        L"アーカイブファイルを作成出来ません\nリソースを読み込めません",
        L"アーカイブファイルを作成出来ません\nディスク容量もしくは現在のフォルダが"
        L"書き込み禁止になっていないか確認して下さい"};
    EXPECT_EQ(expected, failures);
}

class Layout : public SkinArchive {
  protected:
    // The face from the archive the fixture wrote, as the program builds it
    // from the one it extracted.
    static inline StartFailure failure;
    static bool build() {
        failure = buildFace(parlex.face, packOn(std::fopen(skinArchivePath, "rb")));
        buildReadingViews(parlex.face, parlex.shared.gpus, parlex.backBuffer.graphics);
        return !failure;
    }
    char previous[MAX_PATH] = {};
    std::string folder;
    void SetUp() override {
        SkinArchive::SetUp();
        GetCurrentDirectoryA(MAX_PATH, previous);
        folder = archivePath + ".dir";
        CreateDirectoryA(folder.c_str(), nullptr);
        SetCurrentDirectoryA(folder.c_str());
        CreateDirectoryA("skin", nullptr);
        std::ofstream(skinArchivePath, std::ios::binary)
            .write(reinterpret_cast<const char*>(pack.data()),
                   static_cast<std::streamsize>(pack.size()));
        parlex.shared.gpus.gpuCount = 1;
        static std::vector<uint32_t> pixels(271 * 141);
        fillBlendTable(parlex.backBuffer.blendTable);
        parlex.backBuffer.bits = pixels.data();
        parlex.backBuffer.width = 271;
        parlex.backBuffer.height = 141;
    }
    void TearDown() override {
        destroyFace(parlex.face);
        DeleteFileA(skinArchivePath);
        RemoveDirectoryA("skin");
        SetCurrentDirectoryA(previous);
        RemoveDirectoryA(folder.c_str());
        SkinArchive::TearDown();
    }
};

SIZE_T privateMemory() {
    PROCESS_MEMORY_COUNTERS_EX counters = {};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters),
                         sizeof counters);
    // Wine leaves PrivateUsage at 0; Windows gives both the same value.
    return counters.PagefileUsage;
}

// The back buffer as the program makes it, on a memory device context: the
// tests may run where Wine has no display.
struct MemoryBackBuffer {
    HDC memory = CreateCompatibleDC(nullptr);
    HBITMAP dib = nullptr;
    HGDIOBJ previousBitmap = nullptr;
    MemoryBackBuffer() {
        BITMAPINFO info = {};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = 271;
        info.bmiHeader.biHeight = 141;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        dib = CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0);
        previousBitmap = SelectObject(memory, dib);
        parlex.backBuffer.bits = static_cast<uint32_t*>(bits);
        Gdiplus::DllExports::GdipCreateFromHDC(memory, &parlex.backBuffer.graphics);
    }
    ~MemoryBackBuffer() {
        destroyFace(parlex.face);
        Gdiplus::DllExports::GdipDeleteGraphics(parlex.backBuffer.graphics);
        parlex.backBuffer.graphics = nullptr;
        SelectObject(memory, previousBitmap);
        DeleteObject(dib);
        DeleteDC(memory);
    }
    std::vector<uint32_t> pixels() const {
        return {parlex.backBuffer.bits, parlex.backBuffer.bits + 271 * 141};
    }
};

// The face by its rules, with four GPUs at their widest texts and the longest
// name: every view inside the window, the tree in the face's order, the value
// columns apart, a name ending before the clock column, and where hittable
// views overlap, the later one in the table wins.
TEST_F(Layout, TheFaceKeepsItsRules) {
    MemoryBackBuffer buffer;
    parlex.shared.gpus.gpuCount = gpuSlotCount;
    static const wchar_t longest[] = L"NVIDIA RTX PRO 6000 Blackwell Workstation Edition";
    for (GpuSlotReadings& slot : parlex.shared.gpus.slots) {
        slot.nameText = longest;
        slot.graphicsClock = 9999900;
        slot.temperature = -100;
        slot.load = 100;
    }
    ASSERT_TRUE(build());
    View& root = *parlex.face.root;
    root.draw(parlex.backBuffer);
    Face& face = parlex.face;
    std::vector<View*> order = {face.cornerImage,  face.titleText,       face.versionText,
                                face.editionText,  face.closeButton,     face.trayButton,
                                face.historyLabel, face.historyCheckBox, face.rowsImage};
    for (View* const* column : {face.nameText, face.clockText, face.temperatureText, face.loadText})
        order.insert(order.end(), column, column + gpuSlotCount);
    ASSERT_EQ(order.size(), root.children.size());
    for (size_t i = 0; i < order.size(); ++i)
        EXPECT_EQ(order[i], root.children[i].get()) << i;
    EXPECT_TRUE(face.closeButton->pressedImage.pixels && face.trayButton->pressedImage.pixels &&
                face.historyCheckBox->pressedImage.pixels);
    // Where a view draws: its image, or its text as GDI+ measures it.
    auto box = [](const View* view) {
        if (view->kind != Text)
            return RECT{view->absX, view->absY, view->absX + view->mainImage.width,
                        view->absY + view->mainImage.height};
        Gdiplus::RectF bounds;
        textBounds(parlex.backBuffer.graphics, view->text,
                   textFont(view->fontFamily, view->fontPoints, view->fontStyle),
                   textFormat(view->textAlign), float(view->absX), float(view->absY), bounds);
        const float shift = view->textAlign == TextAlign::end      ? bounds.Width
                            : view->textAlign == TextAlign::centre ? bounds.Width / 2
                                                                   : 0;
        const LONG left = LONG(float(view->absX) - shift);
        return RECT{left, LONG(bounds.Y), left + LONG(bounds.Width),
                    LONG(bounds.Y + bounds.Height)};
    };
    const RECT window = box(&root);
    for (View* view : order) {
        const RECT drawn = box(view);
        EXPECT_TRUE(drawn.left >= window.left && drawn.top >= window.top &&
                    drawn.right <= window.right && drawn.bottom <= window.bottom)
            << view->serial;
    }
    for (int slot = 0; slot < gpuSlotCount; ++slot) {
        EXPECT_LE(box(face.nameText[slot]).right, box(face.clockText[slot]).left) << slot;
        EXPECT_LE(box(face.clockText[slot]).right, box(face.temperatureText[slot]).left) << slot;
        EXPECT_LE(box(face.temperatureText[slot]).right, box(face.loadText[slot]).left) << slot;
    }
    for (View* view : order) {
        const POINT anchor = {view->absX, view->absY};
        const View* expected = &root;
        for (View* other : order)
            if (!other->noHit && other->contains(anchor))
                expected = other;
        EXPECT_EQ(expected, root.hitTest(anchor)) << view->serial;
    }
    EXPECT_TRUE(messages.empty());
}

// A monitor repaints for days: nothing a paint makes may outlive it, also
// where the face's font is missing and every text takes the fallback.
// Start-up ends with a word rather than leave a blank window or a face that
// never changes: each step of the back buffer, and the sampling thread with
// its stop event, may fail.
TEST_F(Layout, NoBlankWindowAndNoDeadThreadWithoutAWord) {
    HWND window = CreateWindowExA(0, "STATIC", "", WS_POPUP, 0, 0, 271, 141, nullptr, nullptr,
                                  nullptr, nullptr);
    BackBufferCalls failing[4] = {realBackBufferCalls(), realBackBufferCalls(),
                                  realBackBufferCalls(), realBackBufferCalls()};
    failing[0].getDC = [](HWND) -> HDC { return nullptr; };
    failing[1].createCompatibleDC = [](HDC) -> HDC { return nullptr; };
    failing[2].createDIBSection = [](const BITMAPINFO*, void**) -> HBITMAP { return nullptr; };
    failing[3].createGraphics = [](HDC, Gdiplus::GpGraphics**) { return Gdiplus::OutOfMemory; };
    for (const BackBufferCalls& calls : failing) {
        auto buffer = std::make_unique<BackBuffer>(); // its blend table is 16 MiB
        buffer->calls = calls;
        EXPECT_FALSE(buffer->create(window)) << &calls - failing;
        buffer->destroy();
    }
    DestroyWindow(window);
    parlex.shared.calls.createEvent = [] { return HANDLE(nullptr); };
    EXPECT_FALSE(startSamplingThread(parlex.shared));
    parlex.shared.calls = realSamplingSystemCalls();
    parlex.shared.calls.beginThread = [](unsigned(__stdcall*)(void*), void*) { return HANDLE(); };
    EXPECT_FALSE(startSamplingThread(parlex.shared));
}

TEST_F(Layout, ManyRepaintsLeaveMemoryFlatAlsoWithTheFallbackFont) {
    MemoryBackBuffer buffer;
    ASSERT_TRUE(parlex.backBuffer.graphics && parlex.backBuffer.bits);
    ASSERT_TRUE(build());
    auto repaint = [] {
        parlex.backBuffer.composition = {};
        parlex.backBuffer.compose(parlex.face.root.get());
    };
    repaint();
    std::vector<uint32_t> named = buffer.pixels();
    for (const auto& view : parlex.face.root->children)
        if (view->kind == Text)
            view->fontFamily = L"No Such Family On This System";
    for (int i = 0; i < 100; ++i)
        repaint();
    EXPECT_NE(named, buffer.pixels()) << "the texts are drawn with another font";
    const SIZE_T before = privateMemory();
    const int fonts = keptFontCount();
    for (int i = 0; i < 3000; ++i)
        repaint();
    EXPECT_LT(privateMemory(), before + 1024 * 1024);
    EXPECT_EQ(fonts, keptFontCount());
    EXPECT_LE(fonts, 6) << "one font per family, size and style";
}

// A paint composes only where something changed; the face must come out as
// composing it whole would, pixel for pixel, whatever changed and however
// much smaller or larger a text became.
TEST_F(Layout, APaintOfWhatChangedEqualsTheWholeFace) {
    MemoryBackBuffer buffer;
    ASSERT_TRUE(parlex.backBuffer.graphics && parlex.backBuffer.bits);
    ASSERT_TRUE(build());
    ASSERT_TRUE(parlex.backBuffer.compose(parlex.face.root.get()));
    EXPECT_FALSE(parlex.backBuffer.compose(parlex.face.root.get()))
        << "nothing changed, nothing composed";
    const wchar_t* wideTitle = L"TAVO Parlex TAVO Parlex TAVO Parlex TAVO";
    const std::vector<std::pair<const char*, std::function<void()>>> steps = {
        {"close pressed", [] { parlex.face.closeButton->imageSelector = SelectorPressed; }},
        {"clock widened", [] { parlex.face.clockText[0]->text = L"1234.5MHz"; }},
        {"clock narrowed", [] { parlex.face.clockText[0]->text = L"5MHz"; }},
        {"load recolored", [] { parlex.face.loadText[1]->color = 0xFFFF0000; }},
        {"title reaching the buttons", [wideTitle] { parlex.face.titleText->text = wideTitle; }},
        {"tray pressed under the title",
         [] { parlex.face.trayButton->imageSelector = SelectorPressed; }},
        {"close released under the title",
         [] { parlex.face.closeButton->imageSelector = SelectorAuto; }},
        {"check box ticked", [] { parlex.face.historyCheckBox->imageSelector = SelectorPressed; }},
        {"every value rewritten",
         [] {
             for (int slot = 0; slot < 4; ++slot) {
                 parlex.face.clockText[slot]->text = L"987.6MHz";
                 parlex.face.temperatureText[slot]->text = L"-12\u2103";
                 parlex.face.loadText[slot]->text = L"100\uFF05";
             }
         }},
        {"name shortened", [] { parlex.face.nameText[0]->text = L"G"; }},
        {"title back", [] { parlex.face.titleText->text = L"TAVO Parlex"; }},
    };
    for (const auto& step : steps) {
        step.second();
        EXPECT_TRUE(parlex.backBuffer.compose(parlex.face.root.get())) << step.first;
        const std::vector<uint32_t> changed = buffer.pixels();
        parlex.backBuffer.composition = {};
        ASSERT_TRUE(parlex.backBuffer.compose(parlex.face.root.get()));
        ASSERT_TRUE(changed == buffer.pixels()) << step.first;
    }
}

// Every view of the face hangs in the root's tree, so deleting the root
// deletes them all: faces built and destroyed again and again leave memory
// flat (each holds some 300 KB of decoded images).
TEST_F(Layout, DestroyingTheFaceDeletesEveryView) {
    ASSERT_TRUE(build());
    std::set<View*> tree;
    std::vector<View*> open = {parlex.face.root.get()};
    while (!open.empty()) {
        View* view = open.back();
        open.pop_back();
        tree.insert(view);
        for (const auto& child : view->children)
            open.push_back(child.get());
    }
    std::vector<View*> named = {
        parlex.face.cornerImage,  parlex.face.titleText,       parlex.face.versionText,
        parlex.face.editionText,  parlex.face.closeButton,     parlex.face.trayButton,
        parlex.face.historyLabel, parlex.face.historyCheckBox, parlex.face.rowsImage};
    for (int slot = 0; slot < 4; ++slot)
        named.insert(named.end(), {parlex.face.nameText[slot], parlex.face.clockText[slot],
                                   parlex.face.temperatureText[slot], parlex.face.loadText[slot]});
    for (View* view : named)
        EXPECT_TRUE(tree.count(view)) << "a view outside the tree is never deleted";
    destroyFace(parlex.face);
    EXPECT_FALSE(parlex.face.root);
    const SIZE_T before = privateMemory();
    for (int i = 0; i < 20; ++i) {
        ASSERT_TRUE(build());
        destroyFace(parlex.face);
    }
    EXPECT_LT(privateMemory(), before + 1024 * 1024);
}

TEST_F(Layout, UnreadableArchive) {
    EXPECT_STREQ(L"アーカイブファイルを読み込めません", buildFace(parlex.face, ::SkinPack()).text);
    EXPECT_FALSE(parlex.face.root);
}

TEST_F(Layout, PieceThatCannotBecomeAView) {
    static int allocations;
    allocations = 0;
    parlex.skin.calls.allocatePiece = [](uint32_t size) -> uint8_t* {
        return ++allocations == 4 ? nullptr : new uint8_t[size];
    };
    EXPECT_FALSE(build());
    EXPECT_STREQ(L"メモリを確保できません", failure.text);
    EXPECT_FALSE(parlex.face.root) << "every view built so far is deleted";
}

// A main or pressed skin image that does not decode ends the start without a box.
TEST_F(Layout, PieceThatDoesNotDecode) {
    for (SkinPiece which : {SkinPiece::background, SkinPiece::closePressed}) {
        const int piece = static_cast<int>(which);
        std::vector<uint8_t> damaged = pack;
        std::fill_n(damaged.begin() + skinPieceOffset(piece), skinPieceSizes[piece], 0);
        std::ofstream(skinArchivePath, std::ios::binary)
            .write(reinterpret_cast<const char*>(damaged.data()),
                   static_cast<std::streamsize>(damaged.size()));
        EXPECT_TRUE(!build() && !parlex.face.root && failure.quiet) << piece;
        showFailure(failure, nullptr);
    }
    EXPECT_TRUE(messages.empty());
}

} // namespace
