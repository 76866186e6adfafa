// The reference for Parlex's memory and start-up: a window of the same size
// and place that starts GDI+ and, in every paint, clears to the face's
// background color and draws one text with it.
#include <windows.h>
// GDI+ needs the COM declarations that WIN32_LEAN_AND_MEAN leaves out.
#include <objidl.h>
#include <gdiplus.h>

using namespace Gdiplus;
using namespace Gdiplus::DllExports;

namespace {

// The color of the face's background where the start-up benchmark looks.
const ARGB backgroundColor = 0xFF283041;

void paint(HWND window) {
    PAINTSTRUCT paintStruct;
    HDC dc = BeginPaint(window, &paintStruct);
    GpGraphics* graphics = nullptr;
    GpFontFamily* family = nullptr;
    GpFont* font = nullptr;
    GpSolidFill* brush = nullptr;
    if (GdipCreateFromHDC(dc, &graphics) == Ok) {
        GdipGraphicsClear(graphics, backgroundColor);
        if (GdipCreateFontFamilyFromName(L"\u30E1\u30A4\u30EA\u30AA", nullptr, &family) != Ok)
            GdipGetGenericFontFamilySansSerif(&family);
        GdipCreateFont(family, 8 * 96.0f / 72.0f, 0, UnitPixel, &font);
        GdipCreateSolidFill(0xFFFFFFFF, &brush);
        RectF layout(125.0f, 0.0f, 0.0f, 0.0f);
        GdipDrawString(graphics, L"TAVO Parlex", -1, font, &layout, nullptr, brush);
        GdipDeleteBrush(brush);
        GdipDeleteFont(font);
        GdipDeleteFontFamily(family);
        GdipDeleteGraphics(graphics);
    }
    EndPaint(window, &paintStruct);
}

LRESULT CALLBACK procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_PAINT: paint(window); return 0;
    case WM_DESTROY: PostQuitMessage(0); return 0;
    default: return DefWindowProcA(window, message, wParam, lParam);
    }
}

} // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show) {
    ULONG_PTR token = 0;
    GdiplusStartupInput input;
    GdiplusStartup(&token, &input, nullptr);
    WNDCLASSA windowClass = {};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = instance;
    windowClass.hCursor = LoadCursor(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
    windowClass.lpszClassName = "GdiplusReference";
    RegisterClassA(&windowClass);
    HWND window = CreateWindowExA(0, "GdiplusReference", "GdiplusReference", WS_POPUP,
                                  GetSystemMetrics(SM_CXSCREEN) / 2 - 135,
                                  GetSystemMetrics(SM_CYSCREEN) / 2 - 70, 271, 141, nullptr,
                                  nullptr, instance, nullptr);
    ShowWindow(window, show);
    UpdateWindow(window);
    MSG message;
    while (GetMessageA(&message, nullptr, 0, 0) > 0) {
        TranslateMessage(&message);
        DispatchMessageA(&message);
    }
    GdiplusShutdown(token);
    return 0;
}
