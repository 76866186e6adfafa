// Parlex's window: the left-button tracker, the phases of the skin buttons,
// the check box and the window procedure driven by message sequences; the
// readings as the face shows them, and the face built from the skin pack.
#include "monitor/app_state.h"
#include "monitor/button_logic.h"
#include "monitor/buttons.h"
#include "monitor/face.h"
#include "monitor/notices.h"
#include "monitor/reading_texts.h"
#include "monitor/reading_views.h"
#include "monitor/startup_rules.h"
#include "monitor/tray.h"
#include "monitor/window_procedure.h"
#include "skin/painting.h"
#include "skin/text_objects.h"
#include "sampling/sampling_thread.h"

#include "failing_gpus.h"
#include "skin_pieces.h"
#include "state_reset.h"
#include "temp_file.h"

#include <gtest/gtest.h>

#include <psapi.h>

#include <atomic>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <set>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

namespace {

using enum ViewKind;
using enum ImageSelector;

// What the message filter functions were asked, by the fakes below.
struct FilterRequest {
    std::string function;
    HWND window;
    UINT message;
    DWORD action;
};
std::vector<FilterRequest> filterRequests;
BOOL WINAPI fakeFilterForWindow(HWND window, UINT message, DWORD action, void*) {
    filterRequests.push_back({"ChangeWindowMessageFilterEx", window, message, action});
    return TRUE;
}
BOOL WINAPI fakeFilterForProcess(UINT message, DWORD action) {
    filterRequests.push_back({"ChangeWindowMessageFilter", nullptr, message, action});
    return TRUE;
}

TEST(Tray, TaskbarCreatedIsLetThroughTheIntegrityFilter) {
    const UINT taskbarCreated = RegisterWindowMessageA("TaskbarCreated");
    HWND window = reinterpret_cast<HWND>(0x1234);
    auto check = [&](void* (*resolve)(const char*), const char* expected, HWND expectedWindow) {
        filterRequests.clear();
        parlex.calls.resolveUser32 = resolve;
        allowTaskbarCreated(window);
        if (!expected) {
            EXPECT_TRUE(filterRequests.empty());
            return;
        }
        ASSERT_EQ(1u, filterRequests.size()) << expected;
        EXPECT_EQ(expected, filterRequests[0].function);
        EXPECT_EQ(expectedWindow, filterRequests[0].window);
        EXPECT_EQ(taskbarCreated, filterRequests[0].message);
        EXPECT_EQ(1u, filterRequests[0].action) << "MSGFLT_ALLOW / MSGFLT_ADD";
    };
    // Windows 7 and later: the window's own filter.
    check(
        [](const char* name) -> void* {
            return std::string(name) == "ChangeWindowMessageFilterEx"
                       ? reinterpret_cast<void*>(fakeFilterForWindow)
                       : reinterpret_cast<void*>(fakeFilterForProcess);
        },
        "ChangeWindowMessageFilterEx", window);
    // Vista: only the process-wide one.
    check(
        [](const char* name) -> void* {
            return std::string(name) == "ChangeWindowMessageFilter"
                       ? reinterpret_cast<void*>(fakeFilterForProcess)
                       : nullptr;
        },
        "ChangeWindowMessageFilter", nullptr);
    // XP: neither, and nothing to do.
    check([](const char*) -> void* { return nullptr; }, nullptr, nullptr);
}

TEST(StartupRules, WindowsXpAndLater) {
    EXPECT_FALSE(monitorSystemSupported(4, 10));
    EXPECT_FALSE(monitorSystemSupported(5, 0));
    EXPECT_TRUE(monitorSystemSupported(5, 1));
    EXPECT_TRUE(monitorSystemSupported(6, 0));
    EXPECT_TRUE(monitorSystemSupported(10, 0));
    // shell32 of XP, Server 2003, Vista and 7.
    for (auto [major, minor, build, vista] : {std::tuple{6u, 0u, 2900u, false},
                                              {6u, 0u, 3790u, false},
                                              {6u, 0u, 6000u, true},
                                              {6u, 1u, 7600u, true}})
        EXPECT_EQ(vista, shellKnowsVistaRecord(major, minor, build)) << build;
}

// A click of the close or tray button needs press, hold and release on it.
TEST(Poll, AButtonIsClickedWhereThePointerIs) {
    parlex.shared.appRunning = 1;
    View button({40, 40}, nullptr, Text, nullptr, 0);
    button.width = button.height = 20;
    button.absX = button.absY = 40;
    const POINT on = {41, 41}, off = {39, 40};
    for (auto [place, action] : {std::pair{&Face::closeButton, &ControlActions::close},
                                 std::pair{&Face::trayButton, &ControlActions::hideToTray}}) {
        parlex.face.*place = &button;
        auto clicks = [&, action = action](std::initializer_list<std::pair<UINT, POINT>> messages) {
            parlex.buttons = ButtonState();
            int count = 0;
            for (auto [message, at] : messages) {
                trackMouseButton(message, fastTimer);
                count += pollButtons(at).*action;
            }
            return count;
        };
        EXPECT_EQ(1, clicks({{WM_LBUTTONDOWN, on},
                             {WM_TIMER, on},
                             {WM_LBUTTONUP, on},
                             {WM_TIMER, on},
                             {WM_TIMER, on}}));
        EXPECT_EQ(
            0,
            clicks({{WM_LBUTTONDOWN, on}, {WM_TIMER, off}, {WM_LBUTTONUP, off}, {WM_TIMER, off}}));
        parlex.face.*place = nullptr;
    }
}

// --- the readings on the face ------------------------------------------------

// A sample written while the window refreshes never pairs the text of one
// reading with the colour of another: a temperature flips between no reading
// and one below zero as fast as the sampling thread can write it.
TEST(ReadingViews, TextAndColourTellOfOneSample) {
    View temperature({0, 0}, nullptr, ViewKind::Text, nullptr, 0);
    parlex.face.temperatureText[0] = &temperature;
    parlex.shared.gpus.gpuCount = 1;
    std::atomic<bool> done{false};
    std::thread sampler([&] {
        for (int round = 0; !done; ++round)
            parlex.shared.gpus.slots[0].temperature = round % 2 ? -5 : 0;
    });
    int torn = 0, read = 0;
    for (DWORD start = GetTickCount(); GetTickCount() - start < 500;) {
        updateReadingViews();
        const bool reading = temperature.text != temperatureLook(0, true).text;
        read += reading;
        torn += reading != (temperature.color == presentColor);
    }
    done = true;
    sampler.join();
    EXPECT_GT(read, 0);
    EXPECT_EQ(0, torn);
    parlex.shared.gpus.slots[0].temperature = -5;
    parlex.shared.gpus.gpuCount = 0;
    updateReadingViews();
    EXPECT_EQ(dimColor, temperature.color) << "slot 0 that every GPU has left";
    parlex.face.temperatureText[0] = nullptr;
}

// The readings of the GPUs of failing_gpus.h as the face shows them.
class Sampling : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { discoverFailingGpus(parlex.shared); }
};
const bool samplingKeepsItsGpus = keepStateAcrossTests("Sampling");

TEST_F(Sampling, FailuresKeepTheirDefaults) {
    // The probe made the first clock call of GPU 0 and its first thermal call;
    // GPU 1 refused the probe's newer layouts before any reading was taken.
    readSlot(parlex.shared, 0);
    readSlot(parlex.shared, 1);
    readSlot(parlex.shared, 2);
    EXPECT_EQ(1600000u, parlex.shared.gpus.slots[0].graphicsClock.load());
    EXPECT_EQ(61, parlex.shared.gpus.slots[0].temperature.load());
    EXPECT_EQ(40u, parlex.shared.gpus.slots[0].load.load());
    EXPECT_EQ(50, parlex.shared.gpus.slots[1].temperature.load());
    EXPECT_EQ(0u, parlex.shared.gpus.slots[2].load.load()) << "a TCC slot finds no handle";

    readSlot(parlex.shared, 0);
    readSlot(parlex.shared, 1);
    EXPECT_EQ(1600000u, parlex.shared.gpus.slots[0].graphicsClock.load());
    EXPECT_EQ(51, parlex.shared.gpus.slots[1].temperature.load());
    readSlot(parlex.shared, 0);
    readSlot(parlex.shared, 1);
    EXPECT_EQ(0u, parlex.shared.gpus.slots[0].graphicsClock.load()) << "a failed clock reads 0";
    EXPECT_EQ(61, parlex.shared.gpus.slots[0].temperature.load());
    EXPECT_EQ(51, parlex.shared.gpus.slots[1].temperature.load()) << "a failed temperature stays";

    updateReadingViews();
    EXPECT_STREQ(L"0.0MHz\n", parlex.face.clockTexts[0]);
    EXPECT_STREQ(L"51\u2103\n", parlex.face.temperatureTexts[1]);
    EXPECT_STREQ(L"0\uFF05\n", parlex.face.loadTexts[2]);
    EXPECT_STREQ(L"0.0MHz", parlex.face.clockTexts[3]) << "an empty slot keeps its default";
}

// --- the face built from the skin pack ---------------------------------------

std::vector<uint8_t> readFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(file), {});
}

// The skin pack as the build made it, a file of a test's own, and the boxes
// shown.
class SkinArchive : public ::testing::Test {
  protected:
    std::vector<uint8_t> pack = readFile(SKIN_PACK_PATH);
    std::string archivePath;
    std::vector<std::wstring> messages;
    static std::vector<std::wstring>* recorder;

    void SetUp() override {
        archivePath = tempFile("skn");
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
};
std::vector<std::wstring>* SkinArchive::recorder;

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
        // The fonts kept are the process's until GDI+ shuts down: a face
        // built here counts only its own.
        releaseTextObjects();
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

// --- the window procedure ----------------------------------------------------

// The procedure on a real window, with a check box view under the pointer.
class Procedure : public ::testing::Test {
  protected:
    HWND window = nullptr;
    View* box = nullptr;

    void SetUp() override {
        WNDCLASSA windowClass = {};
        windowClass.lpfnWndProc = windowProcedure;
        windowClass.hInstance = GetModuleHandleA(nullptr);
        windowClass.lpszClassName = "ProcedureTest";
        RegisterClassA(&windowClass);
        parlex.shared.appRunning = 1;
        parlex.procedureEnabled = true;
        window = CreateWindowExA(0, "ProcedureTest", "", WS_POPUP, 0, 0, 271, 141, nullptr, nullptr,
                                 GetModuleHandleA(nullptr), nullptr);
        parlex.phase = WindowPhase::opening; // as the message loop does on its start
        parlex.mainWindow = window;
        box = new View({0, 0}, nullptr, Text, nullptr, 0); // placed where it is made
        box->width = box->height = 14;
        parlex.face.historyCheckBox = box;
    }
    void TearDown() override {
        parlex.face.historyCheckBox = nullptr;
        delete box;
        DestroyWindow(window);
    }
    LRESULT send(UINT message, WPARAM wParam = 0) {
        return windowProcedure(window, message, wParam, 0);
    }
    void pressCheckBox(int ticks) {
        POINT onBox = {box->x + 1, box->y + 1};
        ClientToScreen(window, &onBox);
        SetCursorPos(onBox.x, onBox.y);
        send(WM_LBUTTONDOWN);
        // Pointer moves before the next tick poll again with the press
        // still just made: the latch alone keeps it to one toggle.
        send(WM_MOUSEMOVE);
        send(WM_MOUSEMOVE);
        for (int i = 0; i < ticks; ++i)
            send(WM_TIMER, fastTimer);
        send(WM_LBUTTONUP);
        send(WM_TIMER, fastTimer);
    }
};

TEST_F(Procedure, CreateStartsTheTimersAndTheLoopsFirstFastTickOpensTheControls) {
    send(WM_CREATE);
    send(WM_TIMER, fastTimer);
    EXPECT_EQ(WindowPhase::starting, parlex.phase) << "not before the loop runs";
    parlex.phase = WindowPhase::opening;
    send(WM_TIMER, 999);
    EXPECT_EQ(WindowPhase::opening, parlex.phase) << "an unknown timer only sets the arrow";
    send(WM_TIMER, fastTimer);
    EXPECT_EQ(WindowPhase::live, parlex.phase);
}

TEST_F(Procedure, CheckBoxTogglesOncePerPressAndSetsPendingOnlyWhenTicked) {
    send(WM_TIMER, fastTimer);
    pressCheckBox(200);
    EXPECT_EQ(1, parlex.shared.historyOn.load());
    EXPECT_EQ(1, parlex.shared.historyStartPending.load());
    EXPECT_EQ(SelectorPressed, box->imageSelector) << "ticked shows the pressed image";
    parlex.shared.historyStartPending = 0; // the logger control took it
    pressCheckBox(3);
    EXPECT_EQ(0, parlex.shared.historyOn.load());
    EXPECT_EQ(0, parlex.shared.historyStartPending.load()) << "unticking leaves the pending flag";
    EXPECT_EQ(SelectorAuto, box->imageSelector);
    parlex.shared.historyStartPending = 1;
    pressCheckBox(3);
    pressCheckBox(3);
    EXPECT_EQ(1, parlex.shared.historyStartPending.load());
    EXPECT_EQ(0, parlex.shared.historyOn.load());
}

// KillTimer tells whether the timer was running.
TEST_F(Procedure, TheTickRestsWhilePointerAndButtonsAreIdleAndWakesOnThePointer) {
    send(WM_TIMER, fastTimer);
    send(WM_LBUTTONDOWN);
    send(WM_TIMER, fastTimer);
    send(WM_TIMER, fastTimer);
    EXPECT_TRUE(KillTimer(window, fastTimer)) << "a press under way keeps it";
    SetTimer(window, fastTimer, 1, nullptr);
    send(WM_LBUTTONUP);
    send(WM_TIMER, fastTimer);
    send(WM_TIMER, fastTimer);
    EXPECT_FALSE(KillTimer(window, fastTimer)) << "with the button up and no press under way";
    send(WM_MOUSEMOVE);
    EXPECT_TRUE(KillTimer(window, fastTimer)) << "a pointer message wakes it";
}

// A press on the ticked box unticks it at once, and it stays so while held.
TEST_F(Procedure, AHeldPressShowsTheBoxAsThePollLeftIt) {
    parlex.face.root = std::make_unique<View>(POINT{0, 0}, nullptr, Text, nullptr, 0);
    parlex.face.root->width = 271;
    parlex.face.root->height = 141;
    View* held = new View({7, 125}, parlex.face.root.get(), Text, nullptr, 0);
    held->width = held->height = 14;
    held->absX = held->x; // where the first paint places it
    held->absY = held->y;
    held->pressedImage.pixels = new uint8_t[4]();
    parlex.face.historyCheckBox = held;
    POINT onBox = {10, 128};
    ClientToScreen(window, &onBox);
    ASSERT_TRUE(SetCursorPos(onBox.x, onBox.y));
    send(WM_TIMER, fastTimer);
    for (int press = 0; press < 2; ++press) {
        send(WM_MOUSEMOVE);
        send(WM_LBUTTONDOWN);
        send(WM_TIMER, fastTimer);
        EXPECT_EQ(press == 0 ? &held->pressedImage : &held->mainImage, &held->selectedImage());
        send(WM_LBUTTONUP);
        send(WM_TIMER, fastTimer);
    }
    EXPECT_EQ(0, parlex.shared.historyOn.load());
    parlex.face.historyCheckBox = box;
}

TEST_F(Procedure, NothingActsAfterTheShutdownBegan) {
    send(WM_TIMER, fastTimer);
    parlex.shared.appRunning = 0;
    pressCheckBox(5);
    EXPECT_EQ(0, parlex.shared.historyOn.load());
    parlex.phase = WindowPhase::opening;
    send(WM_TIMER, fastTimer);
    EXPECT_EQ(WindowPhase::opening, parlex.phase);
}

TEST_F(Procedure, SwitchedOffPassesEverythingOn) {
    send(WM_TIMER, fastTimer);
    parlex.procedureEnabled = false;
    pressCheckBox(5);
    EXPECT_EQ(0, parlex.shared.historyOn.load());
    parlex.procedureEnabled = true;
}

// A notice from the sampling thread has the procedure off while it is open:
// what the box uncovers is painted with the class brush and validated. Once
// it is closed, the whole face is due again.
TEST_F(Procedure, TheWholeFaceIsDueAfterARunningNotice) {
    ShowWindow(window, SW_SHOWNA);
    parlex.calls.showMessageBox = [](HWND, const wchar_t*) {
        InvalidateRect(parlex.mainWindow, nullptr, TRUE);
        UpdateWindow(parlex.mainWindow);
    };
    showRunningNotice(L"notice");
    RECT due = {}, whole = {};
    GetClientRect(window, &whole);
    EXPECT_TRUE(GetUpdateRect(window, &due, FALSE) && EqualRect(&due, &whole));
    EXPECT_TRUE(parlex.procedureEnabled);
}

} // namespace
