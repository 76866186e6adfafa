// GDI+ loaded at run time. Each function Parlex calls has here what an import
// library would give it: a slot (__imp_ name) and a stub that jumps through
// it. Before the load a slot points to a stand-in that answers
// GdiplusNotInitialized and takes its arguments off the stack as the real
// function would (stdcall); the load writes the real address.
#include "monitor/gdiplus_library.h"

#include "monitor/resource_ids.h"
#include "system/loading.h"

#include <windows.h>
#include <objidl.h>
#include <gdiplus.h>

#include <cwchar>
#include <string>

static_assert(Gdiplus::GdiplusNotInitialized == 18, "the stand-ins answer 18");
static_assert(GDIPLUS_MANIFEST_ID > 16, "manifest ids 1 to 16 are the loader's");

// Each function with the bytes of arguments it takes (its stdcall suffix).
#define GDIPLUS_FUNCTIONS(X)                                                                       \
    X(GdipBitmapLockBits, 20)                                                                      \
    X(GdipBitmapUnlockBits, 8)                                                                     \
    X(GdipCreateBitmapFromStream, 8)                                                               \
    X(GdipCreateFont, 20)                                                                          \
    X(GdipCreateFontFamilyFromName, 12)                                                            \
    X(GdipCreateFromHDC, 8)                                                                        \
    X(GdipCreateImageAttributes, 4)                                                                \
    X(GdipCreatePen1, 16)                                                                          \
    X(GdipCreateSolidFill, 8)                                                                      \
    X(GdipCreateStringFormat, 12)                                                                  \
    X(GdipDeleteBrush, 4)                                                                          \
    X(GdipDeleteFont, 4)                                                                           \
    X(GdipDeleteFontFamily, 4)                                                                     \
    X(GdipDeleteGraphics, 4)                                                                       \
    X(GdipDeletePen, 4)                                                                            \
    X(GdipDeleteStringFormat, 4)                                                                   \
    X(GdipDisposeImage, 4)                                                                         \
    X(GdipDisposeImageAttributes, 4)                                                               \
    X(GdipDrawImageRectRect, 56)                                                                   \
    X(GdipDrawLineI, 24)                                                                           \
    X(GdipDrawString, 28)                                                                          \
    X(GdipFlush, 8)                                                                                \
    X(GdipGetGenericFontFamilySansSerif, 4)                                                        \
    X(GdipGetImageHeight, 8)                                                                       \
    X(GdipGetImageWidth, 8)                                                                        \
    X(GdipMeasureString, 36)                                                                       \
    X(GdipSetImageAttributesColorMatrix, 24)                                                       \
    X(GdipSetSolidFillColor, 8)                                                                    \
    X(GdipSetStringFormatAlign, 8)                                                                 \
    X(GdiplusShutdown, 4)                                                                          \
    X(GdiplusStartup, 12)

// Each stub is the body of a naked function, so that the compiler, which
// keeps its own idea of the current section, places it in code itself: a
// top-level asm that switched to .text would leave the slots after it there
// at -O0, where asm and variables are emitted in source order, and this
// assembler (PE/COFF) has no section stack to switch back with.
#ifdef _WIN64
// The x86_64 build, which the tests run where a host runs no 32-bit code: one
// calling convention, names without decoration, the caller clears the stack.
#define GDIPLUS_STUBS(name, bytes)                                                                 \
    [[gnu::naked, gnu::used]] static void gdiplusStub_##name() {                                   \
        __asm__(".globl " #name "\n" #name ":\n"                                                   \
                "    jmp *__imp_" #name "(%rip)\n"                                                 \
                "gdiplusUnloaded_" #name ":\n"                                                     \
                "    movl $18, %eax\n"                                                             \
                "    ret\n");                                                                      \
    }                                                                                              \
    extern "C" void gdiplusUnloaded_##name() __asm__("gdiplusUnloaded_" #name);                    \
    extern "C" void* gdiplusSlot_##name __asm__("__imp_" #name);                                   \
    void* gdiplusSlot_##name = reinterpret_cast<void*>(gdiplusUnloaded_##name);
#else
#define GDIPLUS_STUBS(name, bytes)                                                                 \
    [[gnu::naked, gnu::used]] static void gdiplusStub_##name() {                                   \
        __asm__(".globl \"_" #name "@" #bytes "\"\n"                                               \
                "\"_" #name "@" #bytes "\":\n"                                                     \
                "    jmp *\"__imp__" #name "@" #bytes "\"\n"                                       \
                "gdiplusUnloaded_" #name ":\n"                                                     \
                "    movl $18, %eax\n"                                                             \
                "    ret $" #bytes "\n");                                                          \
    }                                                                                              \
    extern "C" void gdiplusUnloaded_##name() __asm__("gdiplusUnloaded_" #name);                    \
    extern "C" void* gdiplusSlot_##name __asm__("__imp__" #name "@" #bytes);                       \
    void* gdiplusSlot_##name = reinterpret_cast<void*>(gdiplusUnloaded_##name);
#endif
GDIPLUS_FUNCTIONS(GDIPLUS_STUBS)

namespace {

struct Slot {
    const char* name;
    void** slot;
};
#define GDIPLUS_SLOT(name, bytes) {#name, &gdiplusSlot_##name},
const Slot slots[] = {GDIPLUS_FUNCTIONS(GDIPLUS_SLOT)};

bool underWindowsFolder(HMODULE module) {
    const std::wstring windows = systemFolder(SystemFolder::windows);
    const size_t length = windows.size();
    wchar_t path[MAX_PATH] = {};
    DWORD pathLength = GetModuleFileNameW(module, path, MAX_PATH);
    return length > 0 && pathLength > length && pathLength < MAX_PATH &&
           _wcsnicmp(path, windows.c_str(), length) == 0 && path[length] == L'\\';
}

// XP and Server 2003 keep GDI+ in the side-by-side store alone. The context
// is made from a manifest of Parlex's own resources, never the process's
// default one, and the name is loaded only when that context redirects it:
// otherwise the search would start beside the program.
HMODULE loadThroughOwnContext() {
    // Private assemblies are probed for under the assembly directory (Microsoft's
    // ACTCTX page), which is otherwise the folder the manifest came from: here
    // the program's. Wine's conformance tests record that Windows, given the
    // Windows folder there, no longer finds private assemblies beside the
    // manifest (ERROR_SXS_CANT_GEN_ACTCTX). They record no answer of XP for
    // this flag with a module's resource; GDI+ comes from the store either way.
    const std::wstring windows = systemFolder(SystemFolder::windows);
    if (windows.empty())
        return nullptr;
    ACTCTXW request = {};
    request.cbSize = sizeof request;
    request.dwFlags = ACTCTX_FLAG_HMODULE_VALID | ACTCTX_FLAG_RESOURCE_NAME_VALID |
                      ACTCTX_FLAG_ASSEMBLY_DIRECTORY_VALID;
    request.hModule = GetModuleHandleW(nullptr);
    request.lpResourceName = MAKEINTRESOURCEW(GDIPLUS_MANIFEST_ID);
    request.lpAssemblyDirectory = windows.c_str();
    // Kept with the library it loads, for the life of the process.
    HANDLE context = CreateActCtxW(&request);
    if (context == INVALID_HANDLE_VALUE)
        return nullptr;
    ULONG_PTR cookie = 0;
    if (!ActivateActCtx(context, &cookie)) {
        ReleaseActCtx(context);
        return nullptr;
    }
    ACTCTX_SECTION_KEYED_DATA redirected = {};
    redirected.cbSize = sizeof redirected;
    HMODULE module = nullptr;
    if (FindActCtxSectionStringW(0, nullptr, ACTIVATION_CONTEXT_SECTION_DLL_REDIRECTION,
                                 L"gdiplus.dll", &redirected))
        module = LoadLibraryW(L"gdiplus.dll");
    DeactivateActCtx(0, cookie);
    // The store lies under the Windows folder; anything else is no system copy.
    if (module && !underWindowsFolder(module)) {
        FreeLibrary(module);
        module = nullptr;
    }
    if (!module)
        ReleaseActCtx(context);
    return module;
}

HMODULE loadLibrary() {
    // Vista and later keep a copy in the system folder.
    if (systemVersion().major >= 6) {
        const std::wstring path = systemFolderFile(L"gdiplus.dll");
        return path.empty() ? nullptr : loadLibraryByFullPath(path.c_str());
    }
    return loadThroughOwnContext();
}

} // namespace

bool loadGdiplus() {
    // Like the vendor libraries, GDI+ stays loaded for the life of the process.
    static HMODULE library = loadLibrary();
    if (!library)
        return false;
    void* found[sizeof slots / sizeof *slots];
    for (size_t i = 0; i < sizeof slots / sizeof *slots; ++i)
        if (!(found[i] = exportedFunction(library, slots[i].name)))
            return false;
    for (size_t i = 0; i < sizeof slots / sizeof *slots; ++i)
        *slots[i].slot = found[i];
    return true;
}
